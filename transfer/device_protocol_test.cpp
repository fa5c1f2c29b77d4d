// DeviceProtocol against the simulated watch over a real pty.
#include "transfer/device_protocol.h"

#include "device/bounded_transfer.h"
#include "device/serial_link.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "testing/raised_error.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <string>
#include <vector>

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kShortBound = 300ms;

// The whole host side of one connection to a fresh simulated watch.
struct Connection {
  explicit Connection(DiveWatchFaults faults = {}, std::chrono::milliseconds bound = 5000ms,
                      DiveWatchPacing pacing = {})
      : sim(faults, pacing), link(port, sim.SlavePath().c_str()), protocol(&port, bound) {}

  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port{io};
  SerialLink link;
  DeviceProtocol protocol;
};

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 31 + seed + i / 256);
  return bytes;
}

std::vector<std::uint8_t> Slice(const std::uint8_t* data, std::size_t size) {
  return std::vector<std::uint8_t>(data, data + size);
}

using testing_support::RaisedBy;
using testing_support::WordOf;

TEST(DeviceProtocolTest, WriteBlockSendsByteExactFramesAndTheWatchStoresTheBlock) {
  Connection c;
  const auto data = Pattern(kBlockSize, 3);
  ASSERT_TRUE(c.protocol.WriteBlock(0x00012000, data.data(), kBlockSize));

  const auto frames = c.sim.Frames();
  ASSERT_EQ(frames.size(), kChunksPerBlock + 1);
  for (std::uint32_t i = 0; i < kChunksPerBlock; ++i) {
    std::vector<std::uint8_t> expected = {0x00, 32, 0x05, 0x00, static_cast<std::uint8_t>(i),
                                          0,    0,  0};
    expected.insert(expected.end(), data.begin() + i * 32, data.begin() + i * 32 + 32);
    EXPECT_EQ(Slice(frames[i].bytes.data(), kFrameSize), expected) << "data frame " << i;
  }
  const DeviceFrame& commit = frames.back();
  EXPECT_EQ(Slice(commit.bytes.data(), 8),
            (std::vector<std::uint8_t>{0xAA, 0x0C, 0x03, 0x00, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(commit.bytes.data() + 8, 4), (std::vector<std::uint8_t>{0x00, 0x20, 0x01, 0x00}));
  EXPECT_EQ(commit.Word(kLengthOffset), kBlockSize);
  EXPECT_EQ(commit.Word(kChecksumOffset), std::accumulate(data.begin(), data.end(), 0u));

  EXPECT_EQ(c.sim.Memory(0x00012000, kBlockSize), data);
}

struct ChecksumCase {
  std::uint8_t fill;
  std::uint32_t checksum;
};

class BlockChecksumTest : public testing::TestWithParam<ChecksumCase> {};

TEST_P(BlockChecksumTest, CommitCarriesTheSumOfAllBlockBytes) {
  Connection c;
  const std::vector<std::uint8_t> data(kBlockSize, GetParam().fill);
  ASSERT_TRUE(c.protocol.WriteBlock(0, data.data(), kBlockSize));
  EXPECT_EQ(c.sim.Frames().back().Word(kChecksumOffset), GetParam().checksum);
}

INSTANTIATE_TEST_SUITE_P(Fills, BlockChecksumTest,
                         testing::Values(ChecksumCase{0x00, 0}, ChecksumCase{0xFF, 0xFF000}));

TEST(DeviceProtocolTest, ShortBlockIsZeroFilledButCommitsTheCallersLength) {
  Connection c;
  const auto data = Pattern(100, 9);
  ASSERT_TRUE(c.protocol.WriteBlock(0x3000, data.data(), 100));

  const auto frames = c.sim.Frames();
  ASSERT_EQ(frames.size(), kChunksPerBlock + 1);
  std::vector<std::uint8_t> chunk3(data.begin() + 96, data.end());
  chunk3.resize(32, 0);
  EXPECT_EQ(Slice(frames[3].Payload(), 32), chunk3);
  for (std::uint32_t i = 4; i < kChunksPerBlock; ++i) {
    EXPECT_EQ(Slice(frames[i].Payload(), 32), std::vector<std::uint8_t>(32, 0)) << "chunk " << i;
  }
  EXPECT_EQ(frames.back().Word(kLengthOffset), 100u);
  EXPECT_EQ(frames.back().Word(kChecksumOffset), std::accumulate(data.begin(), data.end(), 0u));
  // The watch keeps only the committed length; the byte after it stays erased.
  auto stored = c.sim.Memory(0x3000, 101);
  EXPECT_EQ(stored.back(), 0xFF);
  stored.pop_back();
  EXPECT_EQ(stored, data);
}

TEST(DeviceProtocolTest, EveryByteValuePassesBothWaysUnchanged) {
  // NUL, XON/XOFF, CR/LF, the terminal's interrupt and end-of-file characters
  // and 0xFF must all travel as plain data.
  Connection c;
  std::vector<std::uint8_t> data(kBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  const std::uint8_t special[] = {0x00, 0x11, 0x13, 0x0D, 0x0A, 0x03, 0x04, 0x1A, 0x7F, 0xFF};
  for (std::size_t i = 0; i < sizeof special; ++i) data[i * 2 + 1000] = special[i];

  ASSERT_TRUE(c.protocol.WriteBlock(0x8000, data.data(), kBlockSize));
  EXPECT_EQ(c.sim.Memory(0x8000, kBlockSize), data);

  std::vector<std::uint8_t> back(kBlockSize);
  ASSERT_TRUE(c.protocol.ReadBlock(0x8000, back.data(), kBlockSize));
  EXPECT_EQ(back, data);
}

struct AnswerCase {
  const char* name;
  DiveWatchFaults faults;
  std::vector<bool> results;  // WriteBlock's result for blocks 0, 1, 2
};

class CommitAnswerTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(CommitAnswerTest, ResultFollowsTheWatchsAnswer) {
  Connection c(GetParam().faults);
  for (std::size_t block = 0; block < GetParam().results.size(); ++block) {
    const auto data = Pattern(kBlockSize, static_cast<unsigned>(block));
    const std::uint32_t address = static_cast<std::uint32_t>(block * kBlockSize);
    EXPECT_EQ(c.protocol.WriteBlock(address, data.data(), kBlockSize), GetParam().results[block])
        << "block " << block;
    // The exchange stays in step: the next block starts cleanly either way.
    if (GetParam().results[block]) {
      EXPECT_EQ(c.sim.Memory(address, kBlockSize), data);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CommitAnswerTest,
    testing::Values(AnswerCase{"Accepted", {}, {true, true, true}},
                    AnswerCase{"Refused", DiveWatchFaults::Refuse(1), {true, false, true}},
                    AnswerCase{
                        "WrongCommand", DiveWatchFaults::WrongCommand(0), {false, true, true}},
                    AnswerCase{"InPieces", DiveWatchFaults::InPieces(5ms), {true, true, true}},
                    AnswerCase{"InSlowPieces", DiveWatchFaults::InPieces(60ms), {true, true}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceProtocolTest, BlockReadBackOverAPacedLineIsTheBlockWritten) {
  // At 115200 baud the 129 answer frames arrive byte by byte, and faster
  // than the 9600 baud the link is set to.
  Connection c({}, 5000ms, {115200, 0ms});
  const auto data = Pattern(kBlockSize, 11);
  ASSERT_TRUE(c.protocol.WriteBlock(0x6000, data.data(), kBlockSize));
  std::vector<std::uint8_t> back(kBlockSize);
  ASSERT_TRUE(c.protocol.ReadBlock(0x6000, back.data(), kBlockSize));
  EXPECT_EQ(back, data);
}

TEST(DeviceProtocolTest, ReadBlockGathersAnswersSentInPieces) {
  Connection c(DiveWatchFaults::InPieces(2ms));
  const auto data = Pattern(kBlockSize, 5);
  ASSERT_TRUE(c.protocol.WriteBlock(0x4000, data.data(), kBlockSize));
  std::vector<std::uint8_t> back(kBlockSize);
  ASSERT_TRUE(c.protocol.ReadBlock(0x4000, back.data(), kBlockSize));
  EXPECT_EQ(back, data);
}

TEST(DeviceProtocolTest, SilentWatchRaisesTimedOutAfterTheBoundAndLeavesTheLineUsable) {
  DiveWatchFaults faults;
  faults.silentFromBlock = 1;
  Connection c(faults, kShortBound);
  const auto data = Pattern(kBlockSize, 1);
  ASSERT_TRUE(c.protocol.WriteBlock(0, data.data(), kBlockSize));

  const auto started = Clock::now();
  const auto error = RaisedBy([&] { c.protocol.WriteBlock(kBlockSize, data.data(), kBlockSize); });
  const auto waited = Clock::now() - started;
  EXPECT_EQ(error.code(), boost::asio::error::timed_out);
  EXPECT_EQ(WordOf(error), "read");
  EXPECT_GE(waited, kShortBound);
  EXPECT_LT(waited, 3s);

  // The cancelled read left nothing pending: the line still carries frames.
  c.protocol.SendFinish();
  EXPECT_TRUE(c.sim.WaitForFinish(1, 2s));
}

TEST(DeviceProtocolTest, SilentWatchOnReadBlockRaisesTimedOut) {
  DiveWatchFaults faults;
  faults.stopReadingAfterBlocks = 0;  // never even sees the request
  Connection c(faults, kShortBound);
  std::vector<std::uint8_t> back(kBlockSize, 0x5A);
  const auto error = RaisedBy([&] { c.protocol.ReadBlock(0, back.data(), kBlockSize); });
  EXPECT_EQ(error.code(), boost::asio::error::timed_out);
  EXPECT_EQ(WordOf(error), "read");
  EXPECT_EQ(back, std::vector<std::uint8_t>(kBlockSize, 0x5A));
}

struct HangUpCase {
  const char* name;
  int afterFrames;
  std::vector<std::string> words;  // acceptable operation words
};

class HangUpTest : public testing::TestWithParam<HangUpCase> {};

TEST_P(HangUpTest, WatchThatHangsUpRaisesALineErrorNotATimeOut) {
  DiveWatchFaults faults;
  faults.hangUpInBlock = 1;
  faults.hangUpAfterFrames = GetParam().afterFrames;
  Connection c(faults, 5000ms);
  const auto data = Pattern(kBlockSize, 2);
  ASSERT_TRUE(c.protocol.WriteBlock(0, data.data(), kBlockSize));

  const auto started = Clock::now();
  const auto error = RaisedBy([&] { c.protocol.WriteBlock(kBlockSize, data.data(), kBlockSize); });
  EXPECT_NE(error.code(), boost::asio::error::timed_out);
  EXPECT_LT(Clock::now() - started, 3s);
  EXPECT_NE(std::find(GetParam().words.begin(), GetParam().words.end(), WordOf(error)),
            GetParam().words.end())
      << error.what();
}

INSTANTIATE_TEST_SUITE_P(Moments, HangUpTest,
                         testing::Values(
                             // The host may still be writing when the line drops, or may already
                             // have queued every frame and be waiting for the answer.
                             HangUpCase{"AfterFiveDataFrames", 5, {"write", "read"}},
                             HangUpCase{"InsteadOfTheAnswer", 129, {"read"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceProtocolTest, WriteToAWatchAlreadyGoneRaisesWrite) {
  Connection c;
  c.sim.HangUp();
  const auto data = Pattern(kBlockSize, 4);
  const auto error = RaisedBy([&] { c.protocol.WriteBlock(0, data.data(), kBlockSize); });
  EXPECT_EQ(WordOf(error), "write");
  EXPECT_NE(error.code(), boost::asio::error::timed_out);
}

TEST(DeviceProtocolTest, ReadBlockCopiesOnlyTheRequestedLength) {
  Connection c;
  const auto data = Pattern(kBlockSize, 6);
  ASSERT_TRUE(c.protocol.WriteBlock(0x10000, data.data(), kBlockSize));
  std::vector<std::uint8_t> back(kBlockSize, 0x5A);
  ASSERT_TRUE(c.protocol.ReadBlock(0x10000, back.data(), 100));
  EXPECT_EQ(Slice(back.data(), 100), Slice(data.data(), 100));
  EXPECT_EQ(Slice(back.data() + 100, kBlockSize - 100),
            std::vector<std::uint8_t>(kBlockSize - 100, 0x5A));

  const DeviceFrame request = c.sim.Frames().back();
  EXPECT_EQ(Slice(request.bytes.data(), 4), (std::vector<std::uint8_t>{0x00, 8, 0x01, 0x00}));
  EXPECT_EQ(request.Word(kAddressOffset), 0x10000u);
  EXPECT_EQ(request.Word(kLengthOffset), 100u);
}

TEST(DeviceProtocolTest, ReadRequestIsOneByteExactFrameAndTheAnswerIsTheBlock) {
  Connection c;
  const auto data = Pattern(kBlockSize, 10);
  ASSERT_TRUE(c.protocol.WriteBlock(0x0012A000, data.data(), kBlockSize));
  std::vector<std::uint8_t> back(kBlockSize);
  ASSERT_TRUE(c.protocol.ReadBlock(0x0012A000, back.data(), kBlockSize));
  EXPECT_EQ(back, data);

  // payloadSize 8, command 1, then address and length little-endian; the
  // bytes the request does not use go out as zero.
  const auto frames = c.sim.Frames();
  ASSERT_EQ(frames.size(), kChunksPerBlock + 2) << "the request is one frame";
  std::vector<std::uint8_t> expected = {0x00, 0x08, 0x01, 0x00, 0,    0,    0,    0,
                                        0x00, 0xA0, 0x12, 0x00, 0x00, 0x10, 0x00, 0x00};
  expected.resize(kFrameSize, 0);
  EXPECT_EQ(Slice(frames.back().bytes.data(), kFrameSize), expected);
}

TEST(DeviceProtocolTest, ReadBlockIndexMismatchStopsAtOnceAndLeavesDestinationUntouched) {
  DiveWatchFaults faults;
  faults.readWrongIndexAt = 2;
  Connection c(faults);
  const auto data = Pattern(kBlockSize, 7);
  ASSERT_TRUE(c.protocol.WriteBlock(0, data.data(), kBlockSize));

  std::vector<std::uint8_t> back(kBlockSize, 0x5A);
  EXPECT_FALSE(c.protocol.ReadBlock(0, back.data(), kBlockSize));
  EXPECT_EQ(back, std::vector<std::uint8_t>(kBlockSize, 0x5A));

  // Three frames were taken: the next one on the line is data frame 3.
  DeviceFrame next;
  ReadWithin(c.port, boost::asio::buffer(next.bytes), 2000ms);
  EXPECT_TRUE(next.Is(FrameCommand::Data));
  EXPECT_EQ(next.Index(), 3u);
}

TEST(DeviceProtocolTest, ReadBlockChecksumMismatchReturnsFalseButFillsDestination) {
  DiveWatchFaults faults;
  faults.readWrongChecksum = true;
  Connection c(faults);
  const auto data = Pattern(kBlockSize, 8);
  ASSERT_TRUE(c.protocol.WriteBlock(0x2000, data.data(), kBlockSize));
  std::vector<std::uint8_t> back(kBlockSize, 0x5A);
  EXPECT_FALSE(c.protocol.ReadBlock(0x2000, back.data(), kBlockSize));
  EXPECT_EQ(back, data);
}

TEST(DeviceProtocolTest, OversizedLengthSendsNothingAndFails) {
  Connection c;
  std::vector<std::uint8_t> big(kBlockSize + 1, 0x11);
  EXPECT_FALSE(c.protocol.WriteBlock(0, big.data(), kBlockSize + 1));
  EXPECT_FALSE(c.protocol.ReadBlock(0, big.data(), kBlockSize + 1));
  EXPECT_EQ(big, std::vector<std::uint8_t>(kBlockSize + 1, 0x11));
  // The finish frame is the first thing the watch sees.
  c.protocol.SendFinish();
  ASSERT_TRUE(c.sim.WaitForFinish(1, 2s));
  ASSERT_EQ(c.sim.Frames().size(), 1u);
}

TEST(DeviceProtocolTest, FinishFrameCarriesOnlyItsCommand) {
  Connection c;
  c.protocol.SendFinish();
  ASSERT_TRUE(c.sim.WaitForFinish(1, 2s));
  std::vector<std::uint8_t> expected(kFrameSize, 0);
  expected[2] = 0x99;
  expected[3] = 0x99;
  EXPECT_EQ(Slice(c.sim.Frames().at(0).bytes.data(), kFrameSize), expected);
}

}  // namespace
}  // namespace kestrune
