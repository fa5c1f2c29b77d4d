// The dive-watch-sim program as other tests use it: started as a process,
// driven over its pty, dumps read back from disk.
#include "device/bounded_transfer.h"
#include "device/port_holders.h"
#include "device/serial_link.h"
#include "transfer/device_protocol.h"

#include <boost/asio/io_service.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "testing/child_program.h"
#include "testing/random_image.h"
#include "testing/temp_folder.h"
#include "testing/whole_file.h"

namespace kestrune {
namespace {
using testing_support::Bytes;
using testing_support::ChildProgram;
using testing_support::RandomImage;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;

using namespace std::chrono_literals;

bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (access(path.c_str(), F_OK) != 0) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// The dive-watch-sim program with `options`; its first line of output is
// the path of its pty.
std::vector<std::string> Sim(std::vector<std::string> options) {
  options.insert(options.begin(), DIVE_WATCH_SIM_PROGRAM);
  return options;
}

class DiveWatchSimProgramTest : public testing::Test {
 protected:
  TempFolder folder_{"dive-watch-sim"};
  const std::string dir_ = folder_.path().string();
};

TEST_F(DiveWatchSimProgramTest, DumpsWrittenMemoryWhenTheFinishFrameArrives) {
  const std::string dump = dir_ + "/memory.bin";
  const std::string frames = dir_ + "/frames.bin";
  ChildProgram sim(Sim({"--dump", dump, "--dump-dir", dir_, "--frames", frames}));
  ASSERT_EQ(sim.FirstLine().rfind("/dev/pts/", 0), 0u) << sim.FirstLine();

  const auto first = RandomImage(5000, 1);  // two blocks, the second 904 bytes long
  const auto second = RandomImage(100, 2);
  {
    boost::asio::io_service io;
    boost::asio::serial_port port(io);
    SerialLink link(port, sim.FirstLine().c_str());
    DeviceProtocol protocol(&port, 5000ms);
    ASSERT_TRUE(protocol.WriteBlock(0x10000, first.data(), kBlockSize));
    ASSERT_TRUE(protocol.WriteBlock(0x11000, first.data() + kBlockSize, 904));
    ASSERT_TRUE(protocol.WriteBlock(0x10000 + 5000 + 2, second.data(), 100));
    protocol.SendFinish();
  }
  ASSERT_TRUE(WaitForFile(frames, 5s));

  EXPECT_EQ(ReadWholeFile<Bytes>(dir_ + "/00010000.bin"), first);
  EXPECT_EQ(ReadWholeFile<Bytes>(dir_ + "/0001138a.bin"), second);
  // One file from the lowest to the highest written address; the two-byte
  // gap reads as erased flash.
  std::vector<std::uint8_t> whole = first;
  whole.push_back(0xFF);
  whole.push_back(0xFF);
  whole.insert(whole.end(), second.begin(), second.end());
  EXPECT_EQ(ReadWholeFile<Bytes>(dump), whole);
  EXPECT_EQ(ReadWholeFile<Bytes>(frames).size(), (3 * (kChunksPerBlock + 1) + 1) * kFrameSize);

  const int status = sim.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(DiveWatchSimProgramTest, DumpsAtExitWithoutAFinishFrame) {
  const std::string dump = dir_ + "/memory.bin";
  ChildProgram sim(Sim({"--dump", dump}));
  const auto image = RandomImage(kBlockSize, 3);
  {
    boost::asio::io_service io;
    boost::asio::serial_port port(io);
    SerialLink link(port, sim.FirstLine().c_str());
    DeviceProtocol protocol(&port, 5000ms);
    ASSERT_TRUE(protocol.WriteBlock(0x20000, image.data(), kBlockSize));
  }
  EXPECT_NE(access(dump.c_str(), F_OK), 0);
  const int status = sim.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadWholeFile<Bytes>(dump), image);
}

TEST_F(DiveWatchSimProgramTest, MisbehaviourOptionsReachTheWatch) {
  ChildProgram sim(Sim({"--refuse-block", "1"}));
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.FirstLine().c_str());
  DeviceProtocol protocol(&port, 5000ms);
  const auto image = RandomImage(kBlockSize, 4);
  EXPECT_TRUE(protocol.WriteBlock(0, image.data(), kBlockSize));
  EXPECT_FALSE(protocol.WriteBlock(kBlockSize, image.data(), kBlockSize));
}

// As a watch restarting into its new firmware: the line is gone once the
// finish frame has arrived, and a read says so at once.
TEST_F(DiveWatchSimProgramTest, HangsUpAfterTheFinishFrameWhenAsked) {
  ChildProgram sim(Sim({"--hang-up-after-finish"}));
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.FirstLine().c_str());
  DeviceProtocol protocol(&port, 5000ms);
  const auto image = RandomImage(kBlockSize, 5);
  ASSERT_TRUE(protocol.WriteBlock(0, image.data(), kBlockSize));  // up until the finish frame
  protocol.SendFinish();
  std::uint8_t frame[kFrameSize];
  const auto asked = std::chrono::steady_clock::now();
  try {
    ReadWithin(port, boost::asio::buffer(frame), 5000ms);
    ADD_FAILURE() << "read a frame after the finish frame";
  } catch (const boost::system::system_error& failure) {
    EXPECT_TRUE(DeviceLeftTheLine(failure.code())) << failure.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 4s) << "the hang-up is seen, not waited out";
}

// The simulator keeps its pty's slave open, but with no descriptor of its
// own: a port another program has open is refused by the updater, and the
// simulator must not count as one.
TEST_F(DiveWatchSimProgramTest, NoDescriptorOfTheSimulatorHoldsItsPort) {
  ChildProgram sim(Sim({}));
  const std::vector<PortHolder> holders = OtherPortHolders(sim.FirstLine());
  EXPECT_TRUE(holders.empty()) << DescribePortHolders(holders);
}

TEST_F(DiveWatchSimProgramTest, CorruptOptionsTakeTheBlocksAddress) {
  struct OptionCase {
    std::vector<std::string> options;
    bool secondWriteRight;
  };
  for (const OptionCase& c : {OptionCase{{"--corrupt-block-once", "0x1000"}, true},
                              OptionCase{{"--corrupt-block-always", "4096"}, false}}) {
    ChildProgram sim(Sim(c.options));
    boost::asio::io_service io;
    boost::asio::serial_port port(io);
    SerialLink link(port, sim.FirstLine().c_str());
    DeviceProtocol protocol(&port, 5000ms);
    const auto image = RandomImage(kBlockSize, 6);
    std::vector<std::uint8_t> back(kBlockSize);
    ASSERT_TRUE(protocol.WriteBlock(0x1000, image.data(), kBlockSize));
    ASSERT_TRUE(protocol.ReadBlock(0x1000, back.data(), kBlockSize));
    EXPECT_NE(back, image) << c.options[0];
    ASSERT_TRUE(protocol.WriteBlock(0x1000, image.data(), kBlockSize));
    ASSERT_TRUE(protocol.ReadBlock(0x1000, back.data(), kBlockSize));
    EXPECT_EQ(back == image, c.secondWriteRight) << c.options[0];
  }
}

// The late answer must really wait on the line for the host's open: a test
// of discarding it would pass without it too.
TEST_F(DiveWatchSimProgramTest, StaleAnswerWaitsOnTheLineForTheFirstReader) {
  ChildProgram sim(Sim({"--stale-answer"}));
  const int fd = open(sim.FirstLine().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios ios;
  ASSERT_EQ(tcgetattr(fd, &ios), 0);
  cfmakeraw(&ios);
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &ios), 0);
  std::vector<std::uint8_t> received;
  pollfd ready{fd, POLLIN, 0};
  while (poll(&ready, 1, received.size() < kFrameSize ? 2000 : 200) == 1) {
    std::uint8_t piece[64];
    const ssize_t n = read(fd, piece, sizeof piece);
    if (n <= 0) break;
    received.insert(received.end(), piece, piece + n);
  }
  close(fd);
  const DeviceFrame accepted = CommitAnswerFrame(true);
  EXPECT_EQ(received, std::vector<std::uint8_t>(accepted.bytes.begin(), accepted.bytes.end()));
}

TEST_F(DiveWatchSimProgramTest, PacingOptionsReachTheWatch) {
  ChildProgram sim(Sim({"--baud", "115200", "--commit-delay", "50"}));
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.FirstLine().c_str());
  DeviceProtocol protocol(&port, 10000ms);
  const auto image = RandomImage(kBlockSize, 5);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(protocol.WriteBlock(0, image.data(), kBlockSize));
  // 5200 bytes at 10 bit times of 115200 baud, then the flash time: a
  // paced watch is never faster than that.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 451ms + 50ms);
}

TEST_F(DiveWatchSimProgramTest, BadOptionsExitWithUsage) {
  const std::vector<std::vector<std::string>> cases = {{"--no-such-option"},
                                                       {"--baud", "0"},
                                                       {"--baud", "fast"},
                                                       {"--commit-delay", "-1"},
                                                       {"--baud"},
                                                       {"--baud", "9600", "--pieces"},
                                                       {"--corrupt-block-once"},
                                                       {"--corrupt-block-always", "0x1G"},
                                                       {"--corrupt-block-once", "0x100000000"}};
  for (const auto& options : cases) {
    ChildProgram sim(Sim(options));
    EXPECT_TRUE(sim.FirstLine().empty()) << options[0];
    const int status = sim.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << options[0] << " " << status;
  }
}

}  // namespace
}  // namespace kestrune
