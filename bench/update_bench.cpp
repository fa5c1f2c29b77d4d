// update_bench: one whole firmware update of a 1 MiB image, from the local
// update service over HTTPS to the simulated watch over a pty, as the tool
// runs it. Prints the wall time of the run, the time spent writing blocks,
// their ratio (target at most 1.1), and the peak memory of the run over the
// process's idle footprint (target below 3 x the image size).
//
// The service and the watch run as child processes (kestrune-update-service,
// dive-watch-sim), so this process holds only what the tool itself holds.
// Usage: update_bench [image bytes, default 1048576]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/sysfs_serial_devices.h"
#include "transfer/firmware_update.h"
#include "transfer/update_run_fixtures.h"
#include "update/curl_downloader.h"
#include "update/text_conversion.h"

extern char** environ;

namespace kestrune {
namespace {
using namespace testing_support;
using Clock = std::chrono::steady_clock;

// A child program whose first line of output tells how to reach it.
class Child {
 public:
  explicit Child(std::vector<std::string> argv) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
      throw std::runtime_error("cannot start " + argv[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    output_ = fdopen(out[0], "r");
    char line[512];
    if (!fgets(line, sizeof line, output_)) throw std::runtime_error(argv[0] + " said nothing");
    firstLine_ = line;
    while (!firstLine_.empty() && (firstLine_.back() == '\n' || firstLine_.back() == '\r'))
      firstLine_.pop_back();
  }
  ~Child() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    fclose(output_);
  }
  const std::string& FirstLine() const { return firstLine_; }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  std::string firstLine_;
};

// Kilobytes of one field of /proc/self/status.
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

// Restarts the peak-RSS count at the current RSS.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

class TimingReporter : public FirmwareUpdateReporter {
 public:
  void PostStatus(const std::u16string& text) override {
    statuses.push_back(text);
  }
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
  bool DownloadUrlToFile(const std::u16string& url, const std::u16string& path) override {
    const Clock::time_point start = Clock::now();
    const bool ok = real_.DownloadUrlToFile(url, path);
    spent += Clock::now() - start;
    return ok;
  }
  Clock::duration spent{};

 private:
  Downloader& real_;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Removes a folder when the run is over, after the children have ended.
struct RemovedAtEnd {
  fs::path path;
  ~RemovedAtEnd() { fs::remove_all(path); }
};

int Bench(std::size_t imageSize) {
  TempHome home;
  const RemovedAtEnd workDir{MakeTempDir("bench")};
  const fs::path& work = workDir.path;
  const fs::path images = work / "images";
  fs::create_directories(images);
  const Bytes image = RandomImage(imageSize, 2024);
  WriteFile(images / "1-00008000.bin", image);

  Child service({KESTRUNE_UPDATE_SERVICE_PROGRAM, "--port", "0", "--images", images.string()});
  const std::string ready = service.FirstLine();  // "ready port=N untrusted_port=M"
  const std::size_t at = ready.find("port=");
  if (at == std::string::npos) throw std::runtime_error("service: " + ready);
  const std::string port = std::to_string(std::stoi(ready.substr(at + 5)));
  const fs::path dump = work / "watch.bin";
  Child watch({KESTRUNE_DIVE_WATCH_SIM_PROGRAM, "--dump", dump.string()});
  DeviceTree tree(watch.FirstLine());
  SysfsSerialDevices devices(tree.root());
  CurlDownloader downloader(std::string(KESTRUNE_TEST_PKI_DIR) + "/ca.crt");

  // The update check's part, done before the run as in the tool.
  const fs::path manifestFile = work / "features.json";
  if (!downloader.DownloadUrlToFile(
          Utf8ToWideText("https://localhost:" + port + "/api/v1/devices/firmwareUpdate?model=K1"),
          Utf8ToWideText(manifestFile.string()))) {
    std::cerr << "update_bench: no manifest from the service\n";
    return 1;
  }
  const Bytes manifestBytes = ReadFile(manifestFile);
  const std::string manifest(manifestBytes.begin(), manifestBytes.end());

  TimingReporter reporter;
  TimedDownloader timedDownloader(downloader);
  FirmwareUpdateEnvironment environment{timedDownloader, devices, [&] { return manifest; },
                                        std::chrono::milliseconds(20000)};
  const bool peakReset = ResetPeak();
  const long idleKb = StatusKb("VmRSS");
  const long hwmBeforeKb = StatusKb("VmHWM");
  const Clock::time_point start = Clock::now();
  RunFirmwareUpdateProcedure(reporter, environment);
  const Clock::time_point end = Clock::now();
  const long peakKb = StatusKb("VmHWM");

  if (reporter.statuses.empty() || reporter.statuses.back() != u"更新完成") {
    std::cerr << "update_bench: the update did not complete\n";
    return 1;
  }
  // The watch writes its dump when the finish frame arrives.
  Bytes written;
  for (int i = 0; i < 100 && written.size() != image.size(); ++i) {
    usleep(20000);
    written = ReadFile(dump);
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
  std::printf("peak memory over idle: %.2f MiB (idle RSS %.1f MiB, peak %.1f MiB%s), "
              "%.2f x the image (target < 3)\n",
              overMiB, idleKb / 1024.0, peakKb / 1024.0,
              peakReset ? "" : "; peak count not reset, measured against the earlier peak",
              overMiB / imageMiB);
#if defined(__SANITIZE_ADDRESS__)
  std::printf("note: built with AddressSanitizer; its shadow memory and quarantine inflate the "
              "memory figure\n");
#endif
  std::printf("run without the image download / transfer: %.3f\n", (wallMs - downloadMs) / transferMs);
  std::printf("run / transfer: %.3f (target <= 1.1)\n", wallMs / transferMs);
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
