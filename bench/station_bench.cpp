// station_bench: several watches written at once from one fetch of the
// images, as `kestrune-update update --all` and `station` write them, over
// lines paced like the watch's real one.
//
// The images are fetched once from the local update service; then for each
// count N the program starts N simulated watches (dive-watch-sim child
// processes, each pacing its line as a UART at BAUD, 8N1, and holding each
// commit answer for COMMIT_MS) and writes all of them at once, one thread
// per watch. Printed per N:
//   - wall time from the start of the writing until every run has ended
//     (each run ends once its finish frame has left), and that time over the
//     wall time for one watch: 1.0 would be watches that cost each other
//     nothing;
//   - host CPU per block per watch: user + system time of each writing
//     thread (getrusage RUSAGE_THREAD) from its first block's answer to its
//     last block's answer, over the blocks in between, averaged over the
//     watches;
//   - host CPU of the writing's start per watch: from the moment writing
//     begins to the first block's answer. It holds the first block and the
//     watch's sleep block (a call to logind), a cost per run rather than
//     per block;
//   - peak memory: the images held plus the growth of the process's peak
//     resident set (VmHWM) during the writing over its footprint once the
//     images were fetched, against the images plus 1 MiB per watch (the
//     downloader's own footprint is update_bench's figure).
// The watches run as child processes, so this process holds only what the
// tool holds. Each watch's memory is compared with the image afterwards.
//
// usage: station_bench BAUD BLOCKS COMMIT_MS COUNT...
// The last line holds the figures as name=value pairs.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/local_update_service.h"
#include "bench/process_memory.h"
#include "testing/child_program.h"
#include "testing/temp_folder.h"
#include "testing/temp_home.h"
#include "testing/whole_file.h"
#include "transfer/device_frame.h"
#include "transfer/firmware_fetch.h"
#include "transfer/watch_write.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {
using namespace testing_support;
using Clock = std::chrono::steady_clock;

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One watch's run, timed on its own thread.
class WatchSpan : public FirmwareUpdateReporter {
 public:
  void PostStatus(const std::u16string&) override {}
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPosition(std::uint32_t position) override {
    lastBlockCpu = ThreadCpuSeconds();
    if (position == 1) firstBlockCpu = lastBlockCpu;
    blocks = position;
  }
  void SetWriting(bool writing) override {
    if (writing) writingStartCpu = ThreadCpuSeconds();
  }
  double writingStartCpu = 0, firstBlockCpu = 0, lastBlockCpu = 0;
  std::uint32_t blocks = 0;
  RunOutcome outcome = RunOutcome::kFailure;
};

struct Round {
  double wallSeconds;
  double cpuMsPerBlock;
  double cpuMsWritingStart;
  long peakOverIdleKb;
};

Round WriteAtOnce(const FetchedFirmware& firmware, const Bytes& image, int count,
                  const std::string& baud, const std::string& commitMs, long idleKb) {
  TempFolder dumps("station-bench");
  std::vector<std::unique_ptr<ChildProgram>> watches;
  for (int i = 0; i < count; ++i) {
    const std::string dir = (dumps.path() / std::to_string(i)).string();
    std::filesystem::create_directories(dir);
    watches.push_back(std::make_unique<ChildProgram>(
        std::vector<std::string>{KESTRUNE_DIVE_WATCH_SIM_PROGRAM, "--baud", baud, "--commit-delay",
                                 commitMs, "--dump-dir", dir}));
    if (watches.back()->FirstLine().empty()) throw std::runtime_error("a watch did not start");
  }
  std::vector<WatchSpan> spans(static_cast<std::size_t>(count));
  std::vector<std::thread> threads;
  const bool peakReset = ResetPeak();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      WatchSpan& span = spans[static_cast<std::size_t>(i)];
      span.outcome = WriteFirmwareToWatch(span, firmware, Utf8ToWideText(watches[i]->FirstLine()),
                                          std::chrono::milliseconds(20000), nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const long peakKb = StatusKb("VmHWM");
  double cpu = 0;
  double startCpu = 0;
  for (int i = 0; i < count; ++i) {
    const WatchSpan& span = spans[static_cast<std::size_t>(i)];
    if (span.outcome != RunOutcome::kDone || span.blocks < 2) {
      throw std::runtime_error("watch " + std::to_string(i + 1) + " was not updated");
    }
    cpu += (span.lastBlockCpu - span.firstBlockCpu) * 1e3 / (span.blocks - 1);
    startCpu += (span.firstBlockCpu - span.writingStartCpu) * 1e3;
    watches[static_cast<std::size_t>(i)]->Stop();  // the dump is final once it has ended
    const Bytes written = ReadWholeFile<Bytes>(dumps.path() / std::to_string(i) / "00008000.bin");
    if (written != image) {
      throw std::runtime_error("watch " + std::to_string(i + 1) + " holds another image");
    }
  }
  return {wall, cpu / count, startCpu / count, peakReset ? peakKb - idleKb : -1};
}

int Bench(const std::string& baud, std::uint32_t blocks, const std::string& commitMs,
          const std::vector<int>& counts) {
  TempHome home;
  LocalUpdateService service(std::size_t{blocks} * kBlockSize, 2024);
  const SharedManifestText manifest = std::make_shared<const std::string>(service.manifest());
  FetchedFirmware firmware;
  WatchSpan fetch;
  if (FetchFirmware(fetch, manifest, service.downloader(), {}, firmware) != RunOutcome::kDone) {
    throw std::runtime_error("the images could not be fetched");
  }
  const long idleKb = StatusKb("VmRSS");
  const double imageMib = static_cast<double>(service.image().size()) / (1024.0 * 1024.0);
  std::printf("%s baud, %u blocks, %s ms commit delay; images %.3f MiB\n", baud.c_str(), blocks,
              commitMs.c_str(), imageMib);
  double oneWatch = 0;
  std::string figures;
  for (const int count : counts) {
    const Round round = WriteAtOnce(firmware, service.image(), count, baud, commitMs, idleKb);
    if (oneWatch == 0) oneWatch = round.wallSeconds;
    const double ratio = round.wallSeconds / oneWatch;
    const double peakMib = imageMib + static_cast<double>(round.peakOverIdleKb) / 1024.0;
    const double budgetMib = imageMib + count;
    std::printf(
        "  %d watch(es): %.3f s, over one watch %.4f, host CPU %.3f ms/block/watch (writing's "
        "start %.3f ms/watch), images and peak growth while writing %.2f MiB (images + 1 MiB "
        "per watch: %.2f MiB)\n",
        count, round.wallSeconds, ratio, round.cpuMsPerBlock, round.cpuMsWritingStart, peakMib,
        budgetMib);
    std::fflush(stdout);
    char pairs[320];
    std::snprintf(pairs, sizeof pairs,
                  "wall_over_one_%d=%.4f cpu_ms_per_block_%d=%.3f cpu_ms_writing_start_%d=%.3f "
                  "memory_mib_%d=%.2f memory_budget_mib_%d=%.2f ",
                  count, ratio, count, round.cpuMsPerBlock, count, round.cpuMsWritingStart, count,
                  peakMib, count, budgetMib);
    figures += pairs;
  }
  std::printf("%s\n", figures.c_str());
  return 0;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: station_bench BAUD BLOCKS COMMIT_MS COUNT...\n";
    return 2;
  }
  try {
    std::vector<int> counts;
    for (int i = 4; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
    return kestrune::Bench(argv[1], static_cast<std::uint32_t>(std::atoi(argv[2])), argv[3],
                           counts);
  } catch (const std::exception& e) {
    std::cerr << "station_bench: " << e.what() << "\n";
    return 1;
  }
}
