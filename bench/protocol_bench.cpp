// protocol_bench: how close block writes through DeviceProtocol come to the
// raw speed of the line.
//
// Writes a 1 MiB image (256 blocks) through SerialLink + DeviceProtocol to the
// simulated watch over a pty, then pushes the identical byte stream (per
// block: 129 frames of 40 bytes out, one 40-byte answer in) through the
// shortest loop of plain write()/read() calls on the same kind of pty with the
// same simulator. Each is run several times, taking turns at going first; the
// fastest run of each is compared, since other load on the machine only ever
// slows a run down. The last line is "ratio R": protocol throughput / raw
// throughput.
//
// usage: protocol_bench [rounds]   (default 15)
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

constexpr std::uint32_t kBlocks = 256;

struct Run {
  double seconds;     // wall time for all blocks
  double cpuSeconds;  // CPU time of the host thread only (the simulator runs on its own)
};

double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<std::uint8_t> MakeImage() {
  std::vector<std::uint8_t> image(kBlocks * kBlockSize);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
  return image;
}

Run ThroughProtocol(const std::vector<std::uint8_t>& image) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());
  DeviceProtocol protocol(&port);
  const double wall = WallSeconds();
  const double cpu = ThreadCpuSeconds();
  for (std::uint32_t b = 0; b < kBlocks; ++b) {
    if (!protocol.WriteBlock(b * kBlockSize, image.data() + b * kBlockSize, kBlockSize)) {
      throw std::runtime_error("the watch refused a block");
    }
  }
  return {WallSeconds() - wall, ThreadCpuSeconds() - cpu};
}

// The frames WriteBlock sends for each block, built ahead of time.
std::vector<std::uint8_t> MakeStream(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> stream;
  stream.reserve(kBlocks * (kChunksPerBlock + 1) * kFrameSize);
  for (std::uint32_t b = 0; b < kBlocks; ++b) {
    const auto frames = WriteBlockFrames(b * kBlockSize, image.data() + b * kBlockSize, kBlockSize);
    for (const DeviceFrame& frame : frames) {
      stream.insert(stream.end(), frame.bytes.begin(), frame.bytes.end());
    }
  }
  return stream;
}

Run RawLoop(const std::vector<std::uint8_t>& stream) {
  DiveWatchSim sim;
  const int fd = open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) throw std::runtime_error("cannot open the pty");
  termios ios;
  tcgetattr(fd, &ios);
  cfmakeraw(&ios);
  tcsetattr(fd, TCSANOW, &ios);
  const std::uint8_t* next = stream.data();
  DeviceFrame answer;
  const double wall = WallSeconds();
  const double cpu = ThreadCpuSeconds();
  for (std::uint32_t b = 0; b < kBlocks; ++b) {
    for (std::uint32_t f = 0; f <= kChunksPerBlock; ++f, next += kFrameSize) {
      for (std::size_t done = 0; done < kFrameSize;) {
        const ssize_t n = write(fd, next + done, kFrameSize - done);
        if (n <= 0) throw std::runtime_error("raw write failed");
        done += static_cast<std::size_t>(n);
      }
    }
    for (std::size_t done = 0; done < kFrameSize;) {
      const ssize_t n = read(fd, answer.bytes.data() + done, kFrameSize - done);
      if (n <= 0) throw std::runtime_error("raw read failed");
      done += static_cast<std::size_t>(n);
    }
    if (!answer.Is(FrameCommand::CommitAnswer) || answer.Word(kAcceptedOffset) != 1) {
      throw std::runtime_error("the watch refused a raw block");
    }
  }
  const Run run{WallSeconds() - wall, ThreadCpuSeconds() - cpu};
  close(fd);
  return run;
}

std::vector<Run> Sorted(std::vector<Run> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  return runs;
}

void Print(const char* name, const Run& run) {
  std::printf("%-9s %8.1f blocks/s  %7.1f us host CPU/block  (%.3f s for %u blocks)\n", name,
              kBlocks / run.seconds, run.cpuSeconds / kBlocks * 1e6, run.seconds, kBlocks);
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  using namespace kestrune;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  try {
    const auto image = MakeImage();
    const auto stream = MakeStream(image);
    std::vector<Run> protocol, raw;
    for (int r = 0; r < rounds; ++r) {
      // Alternate which goes first, so neither always meets a cold start.
      if (r % 2 == 0) protocol.push_back(ThroughProtocol(image));
      raw.push_back(RawLoop(stream));
      if (r % 2 != 0) protocol.push_back(ThroughProtocol(image));
    }
    const auto p = Sorted(protocol);
    const auto w = Sorted(raw);
    std::printf("1 MiB image, %u blocks of %zu bytes, %d rounds\n", kBlocks, kBlockSize, rounds);
    std::printf("median:\n");
    Print("protocol", p[p.size() / 2]);
    Print("raw", w[w.size() / 2]);
    std::printf("fastest:\n");
    Print("protocol", p.front());
    Print("raw", w.front());
    std::printf("ratio %.3f\n", w.front().seconds / p.front().seconds);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "protocol_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
