// protocol_bench: how close block writes through DeviceProtocol come to the
// raw speed of the line.
//
// One simulated watch on a pty is written to in turns two ways: through
// SerialLink + DeviceProtocol, and through the shortest loop of plain
// blocking write()/read() calls on the same descriptor, which pushes the
// identical byte stream (per block: the 129 frames of 40 bytes in one
// write, the 40-byte answer read back). Each way writes a 1 MiB image (256
// blocks) PASSES times over, in turns of a few milliseconds, so that
// whatever else loads the machine at a moment loads both alike; a round's
// figure is raw time / protocol time, summed over its turns, on a fresh
// line. The last line is "protocol_over_raw=R": that ratio's median over
// the rounds.
//
// usage: protocol_bench [ROUNDS [PASSES]]   (default 15 rounds of 8 passes)
#include "bench/bench_figures.h"
#include "device/serial_link.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"
#include "transfer/device_protocol.h"

#include <boost/asio/io_service.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kestrune {
namespace {

constexpr std::uint32_t kBlocks = 256;     // a 1 MiB image
constexpr std::uint32_t kTurnBlocks = 32;  // blocks in one turn, a few milliseconds
constexpr std::size_t kBlockBytes = (kChunksPerBlock + 1) * kFrameSize;

// Wall and host-thread CPU time (the simulators run on threads of their own).
struct Span {
  double seconds = 0;
  double cpuSeconds = 0;
};

struct Stopwatch {
  static double ThreadCpu() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
  }
  static double Wall() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  // Adds the time since construction to `total`.
  explicit Stopwatch(Span& total) : total_(total), wall_(Wall()), cpu_(ThreadCpu()) {}
  ~Stopwatch() {
    total_.seconds += Wall() - wall_;
    total_.cpuSeconds += ThreadCpu() - cpu_;
  }
  Span& total_;
  double wall_, cpu_;
};

// The frames WriteBlock sends for each block, built ahead of time.
std::vector<std::uint8_t> MakeStream(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> stream;
  stream.reserve(kBlocks * kBlockBytes);
  for (std::uint32_t b = 0; b < kBlocks; ++b) {
    const auto frames = WriteBlockFrames(b * kBlockSize, image.data() + b * kBlockSize, kBlockSize);
    for (const DeviceFrame& frame : frames) {
      stream.insert(stream.end(), frame.bytes.begin(), frame.bytes.end());
    }
  }
  return stream;
}

// One simulated watch on a pty, written to in turns the tool's way (the link
// and the protocol) and the shortest way (the prebuilt frames with blocking
// write() and read() on the same descriptor). Sharing the line means
// sharing whatever the kernel does for it, e.g. which CPU its buffer work
// runs on, which otherwise differs from one pty to the next.
class Line {
 public:
  Line(const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>& stream)
      : image_(image), stream_(stream), link_(port_, sim_.SlavePath().c_str()), protocol_(&port_) {
    flags_ = fcntl(port_.native_handle(), F_GETFL);
  }

  void WriteThroughProtocol(std::uint32_t first, std::uint32_t count) {
    fcntl(port_.native_handle(), F_SETFL, flags_);
    for (std::uint32_t block = first; block < first + count; ++block) {
      if (!protocol_.WriteBlock(block * kBlockSize, image_.data() + block * kBlockSize,
                                kBlockSize)) {
        throw std::runtime_error("the watch refused a block");
      }
    }
  }

  void WriteRaw(std::uint32_t first, std::uint32_t count) {
    const int fd = port_.native_handle();
    fcntl(fd, F_SETFL, flags_ & ~O_NONBLOCK);
    for (std::uint32_t block = first; block < first + count; ++block) {
      const std::uint8_t* frames = stream_.data() + block * kBlockBytes;
      for (std::size_t done = 0; done < kBlockBytes;) {
        const ssize_t n = write(fd, frames + done, kBlockBytes - done);
        if (n <= 0) throw std::runtime_error("raw write failed");
        done += static_cast<std::size_t>(n);
      }
      DeviceFrame answer;
      for (std::size_t done = 0; done < kFrameSize;) {
        const ssize_t n = read(fd, answer.bytes.data() + done, kFrameSize - done);
        if (n <= 0) throw std::runtime_error("raw read failed");
        done += static_cast<std::size_t>(n);
      }
      if (!answer.Is(FrameCommand::CommitAnswer) || answer.Word(kAcceptedOffset) != 1) {
        throw std::runtime_error("the watch refused a raw block");
      }
    }
  }

 private:
  const std::vector<std::uint8_t>& image_;
  const std::vector<std::uint8_t>& stream_;
  DiveWatchSim sim_;
  boost::asio::io_service io_;
  boost::asio::serial_port port_{io_};
  SerialLink link_;
  DeviceProtocol protocol_;
  int flags_ = 0;
};

struct Round {
  Span protocol, raw;
};

// The line takes the image `passes` times each way, a turn each way in
// alternation; whichever went second in one pair of turns goes first in
// the next.
Round RunRound(const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>& stream,
               int passes) {
  Line line(image, stream);
  Round round;
  auto protocolTurn = [&](std::uint32_t first) {
    Stopwatch watch(round.protocol);
    line.WriteThroughProtocol(first, kTurnBlocks);
  };
  auto rawTurn = [&](std::uint32_t first) {
    Stopwatch watch(round.raw);
    line.WriteRaw(first, kTurnBlocks);
  };
  bool protocolFirst = true;
  for (int pass = 0; pass < passes; ++pass) {
    for (std::uint32_t first = 0; first < kBlocks; first += kTurnBlocks) {
      if (protocolFirst) protocolTurn(first);
      rawTurn(first);
      if (!protocolFirst) protocolTurn(first);
      protocolFirst = !protocolFirst;
    }
  }
  return round;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  using namespace kestrune;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 8;
  const double blocks = static_cast<double>(kBlocks) * passes;
  try {
    const auto image = BenchImage(kBlocks);
    const auto stream = MakeStream(image);
    std::vector<double> ratios, protocolRates, rawRates, protocolCpu, rawCpu;
    std::printf("1 MiB image written %d times per line and round, in turns of %u blocks\n", passes,
                kTurnBlocks);
    for (int r = 0; r < rounds; ++r) {
      const Round round = RunRound(image, stream, passes);
      ratios.push_back(round.raw.seconds / round.protocol.seconds);
      protocolRates.push_back(blocks / round.protocol.seconds);
      rawRates.push_back(blocks / round.raw.seconds);
      protocolCpu.push_back(round.protocol.cpuSeconds / blocks * 1e6);
      rawCpu.push_back(round.raw.cpuSeconds / blocks * 1e6);
      std::printf(
          "  round %2d: protocol %.3f s, raw %.3f s, ratio %.3f; host CPU/block %.1f us, "
          "raw %.1f us\n",
          r + 1, round.protocol.seconds, round.raw.seconds, ratios.back(), protocolCpu.back(),
          rawCpu.back());
      std::fflush(stdout);
    }
    auto sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    std::printf("ratio: median %.3f, middle half %.3f to %.3f\n", Median(ratios),
                sorted[sorted.size() / 4], sorted[sorted.size() * 3 / 4]);
    std::printf(
        "medians: protocol %.1f blocks/s, %.1f us host CPU/block; raw %.1f blocks/s, "
        "%.1f us host CPU/block\n",
        Median(protocolRates), Median(protocolCpu), Median(rawRates), Median(rawCpu));
    std::printf("native_blocks_per_s=%.1f protocol_over_raw=%.3f\n", Median(protocolRates),
                Median(ratios));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "protocol_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
