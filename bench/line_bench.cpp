// line_bench: whole firmware updates over a line paced like the watch's real
// one, against the time the line itself needs.
//
// The simulated watch paces every byte as a UART at BAUD (8N1) and holds each
// commit answer for COMMIT_MS of flash writing. One update runs as the tool
// runs it: discovery, the image download from the local update service over
// HTTPS, the blocks, the finish frame. Its wall time runs from the start of
// the procedure until the watch has received the finish frame; the floor is
// what the line and the flash alone need: bytes on the wire x 10 / BAUD +
// one commit delay per block.
//
// Host CPU: user + system time of the updating thread (getrusage
// RUSAGE_THREAD) from the first block's start to the last block's answer,
// per block; the watch runs on threads of its own and is not counted. The
// voluntary context switches of the same span tell how often the thread
// went to sleep in the kernel to wait.
//
// usage: line_bench BAUD BLOCKS COMMIT_MS ROUNDS
// The last line holds the medians as name=value figures.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/local_update_service.h"
#include "device/sysfs_serial_devices.h"
#include "testing/sysfs_tree.h"
#include "testing/temp_home.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"
#include "transfer/firmware_update.h"

namespace kestrune {
namespace {
using namespace testing_support;
using Clock = std::chrono::steady_clock;

struct ThreadUsage {
  double cpuSeconds = 0;
  long voluntarySwitches = 0;
  Clock::time_point at{};
};

ThreadUsage ThisThreadUsage() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw, Clock::now()};
}

class SpanReporter : public FirmwareUpdateReporter {
 public:
  void PostStatus(const std::u16string& text) override { lastStatus = text; }
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPosition(std::uint32_t) override { lastBlock = ThisThreadUsage(); }
  void SetWriting(bool writing) override {
    if (writing) firstBlock = ThisThreadUsage();
  }
  std::u16string lastStatus;
  ThreadUsage firstBlock, lastBlock;
};

struct Round {
  double wallSeconds;
  double beforeBlocksSeconds;  // discovery, port, download
  double afterBlocksSeconds;   // finish frame, close
  double cpuMsPerBlock;
  double sleepsPerBlock;
};

Round RunOnce(LocalUpdateService& service, const DiveWatchPacing& pacing, std::uint32_t blocks) {
  TempHome home;
  DiveWatchSim watch({}, pacing);
  std::mutex mutex;
  std::condition_variable finishSeen;
  Clock::time_point finished{};
  watch.OnFinish([&] {
    std::lock_guard<std::mutex> lock(mutex);
    finished = Clock::now();
    finishSeen.notify_all();
  });
  DiveWatchSysfsTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  SpanReporter reporter;
  const SharedManifestText manifest = std::make_shared<const std::string>(service.manifest());
  UpdateEnvironment environment{service.downloader(), devices, [&] { return manifest; },
                                        std::chrono::milliseconds(20000)};
  const Clock::time_point start = Clock::now();
  RunFirmwareUpdateProcedure(reporter, environment);
  const Clock::time_point returned = Clock::now();
  std::unique_lock<std::mutex> lock(mutex);
  // The finish frame still crosses the line after the host has sent it.
  if (reporter.lastStatus != kUpdateDone ||
      !finishSeen.wait_for(lock, std::chrono::seconds(10),
                           [&] { return finished != Clock::time_point{}; })) {
    throw std::runtime_error("the update did not complete");
  }
  if (watch.Memory(0x8000, service.image().size()) != service.image()) {
    throw std::runtime_error("the watch holds a different image");
  }
  const Clock::time_point end = std::max(finished, returned);
  auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  return {seconds(end - start), seconds(reporter.firstBlock.at - start),
          seconds(end - reporter.lastBlock.at),
          (reporter.lastBlock.cpuSeconds - reporter.firstBlock.cpuSeconds) * 1e3 / blocks,
          static_cast<double>(reporter.lastBlock.voluntarySwitches -
                              reporter.firstBlock.voluntarySwitches) /
              blocks};
}

int Bench(std::uint32_t baud, std::uint32_t blocks, int commitMs, int rounds) {
  LocalUpdateService service(std::size_t{blocks} * kBlockSize, 2024);
  const DiveWatchPacing pacing{baud, std::chrono::milliseconds(commitMs)};
  // Every block is 128 data frames and a commit out, one answer in; then
  // the finish frame.
  const std::uint64_t wireBytes =
      std::uint64_t{blocks} * (kChunksPerBlock + 2) * kFrameSize + kFrameSize;
  const double floorSeconds = wireBytes * 10.0 / baud + blocks * commitMs / 1000.0;
  std::vector<double> ratios, cpu, sleeps;
  std::printf("%u baud, %u blocks, %d ms commit delay: floor %.3f s (%llu bytes on the wire)\n",
              baud, blocks, commitMs, floorSeconds, static_cast<unsigned long long>(wireBytes));
  for (int r = 0; r < rounds; ++r) {
    const Round round = RunOnce(service, pacing, blocks);
    ratios.push_back(round.wallSeconds / floorSeconds);
    cpu.push_back(round.cpuMsPerBlock);
    sleeps.push_back(round.sleepsPerBlock);
    std::printf(
        "  round %d: %.3f s (%.1f ms before the first block, %.1f ms after the last), wall/floor "
        "%.4f, "
        "host CPU %.3f ms/block, %.0f sleeps/block\n",
        r + 1, round.wallSeconds, round.beforeBlocksSeconds * 1e3, round.afterBlocksSeconds * 1e3,
        ratios.back(), cpu.back(), sleeps.back());
    std::fflush(stdout);
  }
  std::printf("efficiency=%.4f cpu_ms_per_block=%.3f sleeps_per_block=%.0f\n", Median(ratios),
              Median(cpu), Median(sleeps));
  return 0;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: line_bench BAUD BLOCKS COMMIT_MS ROUNDS\n";
    return 2;
  }
  try {
    return kestrune::Bench(static_cast<std::uint32_t>(std::atoi(argv[1])),
                           static_cast<std::uint32_t>(std::atoi(argv[2])), std::atoi(argv[3]),
                           std::max(1, std::atoi(argv[4])));
  } catch (const std::exception& e) {
    std::cerr << "line_bench: " << e.what() << "\n";
    return 1;
  }
}
