// update_bench: one whole firmware update of a 1 MiB image, from the local
// update service over HTTPS to the simulated watch over a pty, as the tool
// runs it. Prints the wall time of the run, the time spent writing blocks,
// their ratio, and the peak memory of the run over the process's idle
// footprint (target: at most the image + 4 MiB).
//
// The service and the watch run as child processes (kestrune-update-service,
// dive-watch-sim), so this process holds only what the tool itself holds.
// Usage: update_bench [image bytes, default 1048576]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/local_update_service.h"
#include "bench/process_memory.h"
#include "device/sysfs_serial_devices.h"
#include "testing/child_program.h"
#include "testing/random_image.h"
#include "testing/sysfs_tree.h"
#include "testing/temp_home.h"
#include "testing/whole_file.h"
#include "transfer/firmware_update.h"

namespace kestrune {
namespace {
using namespace testing_support;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The first line of a child program, which tells how to reach it.
std::string FirstLineOf(const ChildProgram& child, const std::string& name) {
  if (child.FirstLine().empty()) throw std::runtime_error(name + " said nothing");
  return child.FirstLine();
}

class TimingReporter : public FirmwareUpdateReporter {
 public:
  void PostStatus(const std::u16string& text) override { statuses.push_back(text); }
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPosition(std::uint32_t) override { lastBlock = Clock::now(); }
  void SetWriting(bool writing) override {
    if (writing) firstBlock = Clock::now();
  }
  std::vector<std::u16string> statuses;
  Clock::time_point firstBlock, lastBlock;
};

// The downloader the tool uses, with the time spent in it counted.
class TimedDownloader : public Downloader {
 public:
  explicit TimedDownloader(Downloader& real) : real_(real) {}
  DownloadResult Download(const std::u16string& url, const std::u16string& path,
                          const DownloadLimits& limits) override {
    const Clock::time_point start = Clock::now();
    DownloadResult result = real_.Download(url, path, limits);
    spent += Clock::now() - start;
    return result;
  }
  Clock::duration spent{};

 private:
  Downloader& real_;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

int Bench(std::size_t imageSize) {
  TempHome home;
  LocalUpdateService service(imageSize, 2024);
  const Bytes& image = service.image();
  const fs::path dump = service.work() / "watch.bin";
  ChildProgram watch({KESTRUNE_DIVE_WATCH_SIM_PROGRAM, "--dump", dump.string()});
  DiveWatchSysfsTree tree(FirstLineOf(watch, KESTRUNE_DIVE_WATCH_SIM_PROGRAM));
  SysfsSerialDevices devices(tree.root());
  Downloader& downloader = service.downloader();
  const SharedManifestText manifest = std::make_shared<const std::string>(service.manifest());

  TimingReporter reporter;
  TimedDownloader timedDownloader(downloader);
  UpdateEnvironment environment{timedDownloader, devices, [&] { return manifest; },
                                std::chrono::milliseconds(20000)};
  const bool peakReset = ResetPeak();
  const long idleKb = StatusKb("VmRSS");
  const long hwmBeforeKb = StatusKb("VmHWM");
  const Clock::time_point start = Clock::now();
  RunFirmwareUpdateProcedure(reporter, environment);
  const Clock::time_point end = Clock::now();
  const long peakKb = StatusKb("VmHWM");

  if (reporter.statuses.empty() || reporter.statuses.back() != kUpdateDone) {
    std::cerr << "update_bench: the update did not complete\n";
    return 1;
  }
  // The watch writes its dump when the finish frame arrives.
  Bytes written;
  for (int i = 0; i < 100 && written.size() != image.size(); ++i) {
    usleep(20000);
    written = ReadWholeFile<Bytes>(dump);
  }
  const bool verified = written == image;

  const double wallMs = Ms(end - start);
  const double transferMs = Ms(reporter.lastBlock - reporter.firstBlock);
  const long baseKb = peakReset ? idleKb : hwmBeforeKb;
  const double overMiB = static_cast<double>(peakKb - baseKb) / 1024.0;
  const double imageMiB = static_cast<double>(imageSize) / (1024.0 * 1024.0);
  std::printf("image: %zu bytes (%zu blocks), written and read back %s\n", imageSize,
              (imageSize + 4095) / 4096, verified ? "identical" : "DIFFERENT");
  std::printf("whole run: %.1f ms\n", wallMs);
  std::printf("block transfer: %.1f ms (%.3f ms per block)\n", transferMs,
              transferMs / static_cast<double>((imageSize + 4095) / 4096));
  // Where the rest of the run goes.
  const double downloadMs = Ms(timedDownloader.spent);
  std::printf("  image download (HTTPS, into the data folder): %.1f ms; everything else: %.1f ms\n",
              downloadMs, wallMs - transferMs - downloadMs);
  std::printf(
      "peak memory over idle: %.2f MiB (idle RSS %.1f MiB, peak %.1f MiB%s), "
      "image + %.2f MiB (target: image + 4 MiB at most)\n",
      overMiB, idleKb / 1024.0, peakKb / 1024.0,
      peakReset ? "" : "; peak count not reset, measured against the earlier peak",
      overMiB - imageMiB);
#if defined(__SANITIZE_ADDRESS__)
  std::printf(
      "note: built with AddressSanitizer; its shadow memory and quarantine inflate the "
      "memory figure\n");
#endif
  std::printf("run without the image download / transfer: %.3f\n",
              (wallMs - downloadMs) / transferMs);
  std::printf("run / transfer: %.3f\n", wallMs / transferMs);
  std::printf("memory_over_idle_mib=%.2f image_mib=%.2f\n", overMiB, imageMiB);
  return verified ? 0 : 1;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  try {
    return kestrune::Bench(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024 * 1024);
  } catch (const std::exception& e) {
    std::cerr << "update_bench: " << e.what() << "\n";
    return 1;
  }
}
