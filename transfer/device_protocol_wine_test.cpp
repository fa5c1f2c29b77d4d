// DeviceProtocol and SerialLink in the Windows build, against the simulated
// watch reached as a COM port (run through with-sim-com, which names the port
// in KESTRUNE_SIM_PORT and picks the watch's behaviour for each case).
#include "transfer/device_protocol.h"

#include "device/serial_link.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "testing/raised_error.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string SimPort() {
  const char* port = std::getenv("KESTRUNE_SIM_PORT");
  return port != nullptr ? port : "";
}

class WineProtocol : public testing::Test {
 protected:
  void Open(std::chrono::milliseconds bound = 10000ms) {
    const std::string name = SimPort();
    ASSERT_FALSE(name.empty()) << "run through with-sim-com";
    link_ = std::make_unique<SerialLink>(port_, name.c_str());
    protocol_ = std::make_unique<DeviceProtocol>(&port_, bound);
  }

  static std::vector<std::uint8_t> Block(unsigned seed) {
    std::vector<std::uint8_t> bytes(kBlockSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<std::uint8_t>(i + seed + i / 256);
    return bytes;
  }

  boost::asio::io_service io_;
  boost::asio::serial_port port_{io_};
  std::unique_ptr<SerialLink> link_;
  std::unique_ptr<DeviceProtocol> protocol_;
};

using testing_support::WordOf;

// Watch: default.
TEST_F(WineProtocol, WrittenBlocksAreAcceptedAndReadBackUnchanged) {
  Open();
  for (unsigned n = 0; n < 3; ++n) {
    const auto data = Block(n * 85);  // every byte value, NUL and XON/XOFF included
    ASSERT_TRUE(protocol_->WriteBlock(0x10000 + n * kBlockSize, data.data(), kBlockSize))
        << "block " << n;
    std::vector<std::uint8_t> back(kBlockSize);
    ASSERT_TRUE(protocol_->ReadBlock(0x10000 + n * kBlockSize, back.data(), kBlockSize));
    EXPECT_EQ(back, data) << "block " << n;
  }
  protocol_->SendFinish();
}

// Watch: --refuse-block 1.
TEST_F(WineProtocol, RefusedBlockReturnsFalseAndTheNextIsAcceptedAgain) {
  Open();
  const auto data = Block(1);
  EXPECT_TRUE(protocol_->WriteBlock(0, data.data(), kBlockSize));
  EXPECT_FALSE(protocol_->WriteBlock(kBlockSize, data.data(), kBlockSize));
  EXPECT_TRUE(protocol_->WriteBlock(2 * kBlockSize, data.data(), kBlockSize));
}

// Watch: --wrong-command-block 0.
TEST_F(WineProtocol, AnswerWithTheWrongCommandReturnsFalse) {
  Open();
  const auto data = Block(2);
  EXPECT_FALSE(protocol_->WriteBlock(0, data.data(), kBlockSize));
  EXPECT_TRUE(protocol_->WriteBlock(kBlockSize, data.data(), kBlockSize));
}

// Watch: --pieces.
TEST_F(WineProtocol, AnswersInPiecesAreGathered) {
  Open();
  const auto data = Block(3);
  ASSERT_TRUE(protocol_->WriteBlock(0x2000, data.data(), kBlockSize));
  std::vector<std::uint8_t> back(kBlockSize);
  ASSERT_TRUE(protocol_->ReadBlock(0x2000, back.data(), kBlockSize));
  EXPECT_EQ(back, data);
}

// Watch: --silent-from-block 0.
TEST_F(WineProtocol, SilentWatchRaisesTimedOutWithinTheBound) {
  constexpr auto kBound = 500ms;
  Open(kBound);
  const auto data = Block(4);
  const auto started = Clock::now();
  try {
    protocol_->WriteBlock(0, data.data(), kBlockSize);
    ADD_FAILURE() << "no error from a silent watch";
  } catch (const boost::system::system_error& error) {
    EXPECT_EQ(error.code(), boost::asio::error::timed_out) << error.what();
    EXPECT_EQ(WordOf(error), "read");
  }
  const auto waited = Clock::now() - started;
  EXPECT_GE(waited, kBound);
  EXPECT_LT(waited, 5s);
  // The cancelled read is gone: the line still takes frames.
  EXPECT_NO_THROW(protocol_->SendFinish());
}

// Watch: --partial-answer-block 0 --piece-pause 450. Part of the answer
// arrives just before the bound, the rest never: the read still ends within
// the bound and the cancel's grace.
TEST_F(WineProtocol, PartialAnswerJustBeforeTheBoundThenSilence) {
  constexpr auto kBound = 500ms;
  Open(kBound);
  const auto data = Block(6);
  const auto started = Clock::now();
  try {
    protocol_->WriteBlock(0, data.data(), kBlockSize);
    ADD_FAILURE() << "no error from a watch that fell silent mid-answer";
  } catch (const boost::system::system_error& error) {
    EXPECT_EQ(error.code(), boost::asio::error::timed_out) << error.what();
    EXPECT_EQ(WordOf(error), "read");
  }
  const auto waited = Clock::now() - started;
  EXPECT_GE(waited, kBound);
  EXPECT_LT(waited, kBound + 1000ms + 1500ms);
}

// Watch: --hang-up-in-block 0 --hang-up-after-frames 129.
TEST_F(WineProtocol, WatchThatHangsUpRaisesALineError) {
  Open(3000ms);
  const auto data = Block(5);
  try {
    protocol_->WriteBlock(0, data.data(), kBlockSize);
    ADD_FAILURE() << "no error from a watch that hung up";
  } catch (const boost::system::system_error& error) {
    const std::string word = WordOf(error);
    EXPECT_TRUE(word == "read" || word == "write") << error.what();
    EXPECT_NE(error.code(), boost::asio::error::timed_out) << error.what();
  }
}

// No watch needed.
TEST(WineSerialLink, MissingComPortRaisesOpen) {
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  try {
    SerialLink link(port, "COM42");
    ADD_FAILURE() << "COM42 opened";
  } catch (const boost::system::system_error& error) {
    EXPECT_EQ(WordOf(error), "open") << error.what();
  }
  EXPECT_FALSE(port.is_open());
}

}  // namespace
}  // namespace kestrune
