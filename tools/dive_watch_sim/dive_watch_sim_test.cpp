// The simulated watch's own checks, driven with hand-made frames over a plain
// descriptor, so a faulty host is caught by the watch rather than trusted.
#include "tools/dive_watch_sim/dive_watch_sim.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kestrune {
namespace {

using namespace std::chrono_literals;

// The frames of one well-formed block of `data` for `address`, in a vector
// that a case can spoil.
std::vector<DeviceFrame> BlockFrames(std::uint32_t address, const std::vector<std::uint8_t>& data) {
  const BlockWriteFrames frames = WriteBlockFrames(address, data.data(), kBlockSize);
  return std::vector<DeviceFrame>(frames.begin(), frames.end());
}

// A plain raw descriptor on the watch's pty.
class RawLine {
 public:
  explicit RawLine(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios ios;
    tcgetattr(fd_, &ios);
    cfmakeraw(&ios);
    tcsetattr(fd_, TCSANOW, &ios);
  }
  ~RawLine() { close(fd_); }

  void Send(const std::vector<DeviceFrame>& frames) {
    for (const auto& frame : frames) {
      ASSERT_EQ(write(fd_, frame.bytes.data(), kFrameSize), static_cast<ssize_t>(kFrameSize));
    }
  }

  // The next frame from the watch, or false when none comes within `timeout`.
  bool Receive(DeviceFrame& frame, std::chrono::milliseconds timeout) {
    std::size_t done = 0;
    while (done < kFrameSize) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(timeout.count())) != 1) return false;
      const ssize_t n = read(fd_, frame.bytes.data() + done, kFrameSize - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
};

struct CheckCase {
  const char* name;
  std::function<void(std::vector<DeviceFrame>&)> spoil;  // empty: a sound block
  bool accepted;
};

class DiveWatchChecks : public testing::TestWithParam<CheckCase> {};

TEST_P(DiveWatchChecks, CommitIsAnsweredByTheBlocksSoundness) {
  DiveWatchSim sim;
  RawLine line(sim.SlavePath());
  std::vector<std::uint8_t> data(kBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 5 + 1);
  auto frames = BlockFrames(0x4000, data);
  if (GetParam().spoil) GetParam().spoil(frames);
  line.Send(frames);

  DeviceFrame answer;
  ASSERT_TRUE(line.Receive(answer, 2000ms));
  EXPECT_TRUE(answer.Is(FrameCommand::CommitAnswer));
  EXPECT_EQ(answer.Word(kAcceptedOffset), GetParam().accepted ? 1u : 0u);
  if (GetParam().accepted) {
    EXPECT_EQ(sim.Memory(0x4000, kBlockSize), data);
  } else {
    EXPECT_TRUE(sim.WrittenRegions().empty());
  }

  // Whatever the verdict, the next sound block starts afresh and is taken.
  line.Send(BlockFrames(0x8000, data));
  ASSERT_TRUE(line.Receive(answer, 2000ms));
  EXPECT_EQ(answer.Word(kAcceptedOffset), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, DiveWatchChecks,
    testing::Values(
        CheckCase{"Sound", {}, true},
        CheckCase{"DataOutOfOrder", [](auto& f) { std::swap(f[5], f[6]); }, false},
        CheckCase{"DataFrameMissing", [](auto& f) { f.erase(f.begin() + kChunksPerBlock - 1); },
                  false},
        CheckCase{"DataFrameTooMany",
                  [](auto& f) { f.insert(f.begin() + kChunksPerBlock, f[kChunksPerBlock - 1]); },
                  false},
        CheckCase{"DataPayloadSizeWrong", [](auto& f) { f[9].SetPayloadSize(31); }, false},
        CheckCase{"CommitStartByteMissing", [](auto& f) { f.back().SetStart(0); }, false},
        CheckCase{"CommitPayloadSizeWrong", [](auto& f) { f.back().SetPayloadSize(8); }, false},
        CheckCase{"CommitIndexNotZero", [](auto& f) { f.back().SetIndex(1); }, false},
        CheckCase{
            "ChecksumOffByOne",
            [](auto& f) { f.back().SetWord(kChecksumOffset, f.back().Word(kChecksumOffset) + 1); },
            false},
        CheckCase{"ChunkChangedAfterChecksum", [](auto& f) { f[64].Payload()[3] ^= 0x01; }, false},
        CheckCase{"LengthAboveABlock",
                  [](auto& f) { f.back().SetWord(kLengthOffset, kBlockSize + 1); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DiveWatchSimTest, ServesReadsOfWrittenAndErasedMemory) {
  DiveWatchSim sim;
  RawLine line(sim.SlavePath());
  std::vector<std::uint8_t> data(kBlockSize, 0x00);  // NUL bytes travel too
  data[0] = 0x11;
  data[4095] = 0x13;
  line.Send(BlockFrames(0, data));
  DeviceFrame answer;
  ASSERT_TRUE(line.Receive(answer, 2000ms));
  ASSERT_EQ(answer.Word(kAcceptedOffset), 1u);

  // Half written block, half erased flash.
  line.Send({ReadRequestFrame(2048, kBlockSize)});
  std::vector<std::uint8_t> expected(data.begin() + 2048, data.end());
  expected.resize(kBlockSize, 0xFF);
  std::vector<std::uint8_t> received;
  for (std::uint32_t i = 0; i < kChunksPerBlock; ++i) {
    DeviceFrame frame;
    ASSERT_TRUE(line.Receive(frame, 2000ms));
    ASSERT_TRUE(frame.Is(FrameCommand::Data));
    ASSERT_EQ(frame.Index(), i);
    received.insert(received.end(), frame.Payload(), frame.Payload() + kChunkSize);
  }
  EXPECT_EQ(received, expected);
  DeviceFrame end;
  ASSERT_TRUE(line.Receive(end, 2000ms));
  EXPECT_TRUE(end.Is(FrameCommand::ReadEnd));
  EXPECT_EQ(end.Word(kChecksumOffset), BlockChecksum(expected.data(), expected.size()));
}

struct CorruptCase {
  const char* name;
  DiveWatchFaults faults;
  std::vector<bool> storedRight;  // per write of the block at 0x9000
};

void PrintTo(const CorruptCase& c, std::ostream* out) { *out << c.name; }

class DiveWatchCorruption : public testing::TestWithParam<CorruptCase> {};

// The watch accepts every write, yet keeps what the fault says; a block at
// another address is never touched.
TEST_P(DiveWatchCorruption, StoresTheNamedBlockChangedButAcceptsIt) {
  DiveWatchSim sim(GetParam().faults);
  RawLine line(sim.SlavePath());
  std::vector<std::uint8_t> data(kBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
  std::size_t corrupted = 0;
  for (std::size_t write = 0; write < GetParam().storedRight.size(); ++write) {
    for (const std::uint32_t address : {0x8000u, 0x9000u}) {
      line.Send(BlockFrames(address, data));
      DeviceFrame answer;
      ASSERT_TRUE(line.Receive(answer, 2000ms));
      EXPECT_EQ(answer.Word(kAcceptedOffset), 1u) << "write " << write;
    }
    EXPECT_EQ(sim.Memory(0x8000, kBlockSize), data) << "write " << write;
    const auto stored = sim.Memory(0x9000, kBlockSize);
    if (GetParam().storedRight[write]) {
      EXPECT_EQ(stored, data) << "write " << write;
    } else {
      ++corrupted;
      std::size_t differing = 0;
      for (std::size_t i = 0; i < kBlockSize; ++i) differing += stored[i] != data[i];
      EXPECT_EQ(differing, 1u) << "write " << write;
      EXPECT_EQ(stored[kBlockSize / 2], static_cast<std::uint8_t>(~data[kBlockSize / 2]));
    }
  }
  EXPECT_EQ(sim.CorruptedBlocks(), corrupted);
  EXPECT_EQ(sim.AcceptedBlocks(), 2 * GetParam().storedRight.size());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiveWatchCorruption,
    testing::Values(CorruptCase{"None", {}, {true, true}},
                    CorruptCase{"Once", DiveWatchFaults::CorruptOnce(0x9000), {false, true, true}},
                    CorruptCase{"Always", DiveWatchFaults::CorruptAlways(0x9000), {false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DiveWatchSimTest, CountsFinishFramesWithoutAnswering) {
  DiveWatchSim sim;
  RawLine line(sim.SlavePath());
  line.Send({FinishFrame()});
  ASSERT_TRUE(sim.WaitForFinish(1, 2s));
  DeviceFrame nothing;
  EXPECT_FALSE(line.Receive(nothing, 200ms));
}

// The count a test reads to see that a program left an idle watch's port
// alone: every open of the pty by someone else, none of the simulator's own.
TEST(DiveWatchSimTest, CountsTheHostsOpensOfItsPort) {
  DiveWatchSim sim;
  EXPECT_EQ(sim.HostOpens(), 0u);
  { RawLine first(sim.SlavePath()); }
  { RawLine second(sim.SlavePath()); }
  EXPECT_EQ(sim.HostOpens(), 2u);
}

// A paced line can only make the watch later, never earlier, so the lower
// bounds below hold on any machine; the upper bound is the generous receive
// time-out.
struct PacingCase {
  const char* name;
  DiveWatchPacing pacing;
  std::chrono::microseconds earliest;  // from the commit's handover to the whole answer
};

TEST(DiveWatchSimTest, PacedLineAndFlashHoldTheAnswerBack) {
  const PacingCase cases[] = {
      // 80 bytes at 10 bit times each: the commit in, the answer out.
      {"a frame each way at 1200 baud", {1200, 0ms}, 666'666us},
      {"flash time on an unpaced line", {0, 250ms}, 250ms},
      {"line and flash time add up", {2400, 200ms}, 333'333us + 200ms},
  };
  for (const PacingCase& c : cases) {
    DiveWatchSim sim({}, c.pacing);
    RawLine line(sim.SlavePath());
    // A commit without its data frames: refused, but answered all the same.
    const auto sent = std::chrono::steady_clock::now();
    line.Send({CommitFrame(0, kBlockSize, 0)});
    DeviceFrame answer;
    ASSERT_TRUE(line.Receive(answer, 10s)) << c.name;
    EXPECT_GE(std::chrono::steady_clock::now() - sent, c.earliest) << c.name;
    EXPECT_TRUE(answer.Is(FrameCommand::CommitAnswer)) << c.name;
    EXPECT_EQ(answer.Word(kAcceptedOffset), 0u) << c.name;
  }
}

// What a benchmark times a host's first frame by: the moment the first
// frame's last byte crossed the paced line, not when a later one did.
TEST(DiveWatchSimTest, PacedLineTellsWhenTheFirstFrameCrossed) {
  DiveWatchSim sim({}, {1200, 0ms});
  EXPECT_FALSE(sim.FirstFrameAt().has_value());
  RawLine line(sim.SlavePath());
  const auto sent = std::chrono::steady_clock::now();
  // 40 bytes take 333 ms at 1200 baud: the third frame crosses at 1 s.
  line.Send({FinishFrame(), FinishFrame(), FinishFrame()});
  ASSERT_TRUE(sim.WaitForFinish(3, 10s));
  const auto crossed = sim.FirstFrameAt();
  ASSERT_TRUE(crossed.has_value());
  EXPECT_GE(*crossed - sent, 333'333us);
  EXPECT_LT(*crossed - sent, 1000ms);
}

TEST(DiveWatchSimTest, PacedLineCarriesBlocksUnchanged) {
  DiveWatchSim sim({}, {115200, 5ms});
  RawLine line(sim.SlavePath());
  std::vector<std::uint8_t> data(kBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3);
  line.Send(BlockFrames(0x1000, data));
  DeviceFrame answer;
  ASSERT_TRUE(line.Receive(answer, 10s));
  EXPECT_EQ(answer.Word(kAcceptedOffset), 1u);
  EXPECT_EQ(sim.Memory(0x1000, kBlockSize), data);
}

TEST(DiveWatchSimTest, PacedWatchStopsPromptlyInTheMiddleOfAnAnswer) {
  const auto start = std::chrono::steady_clock::now();
  {
    // At 600 baud the 129 frames of a served read would take 8.6 s.
    DiveWatchSim sim({}, {600, 0ms});
    RawLine line(sim.SlavePath());
    line.Send({ReadRequestFrame(0, kBlockSize)});
    DeviceFrame frame;
    ASSERT_TRUE(line.Receive(frame, 10s));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
}

}  // namespace
}  // namespace kestrune
