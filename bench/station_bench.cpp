// station_bench: the real `kestrune-update station` writing paced watches
// as they are plugged in: several at once, and one after the other.
//
// The station runs as a child process, as at a service desk: in a mount
// namespace of its own with a sysfs-shaped tree laid over /sys (the device
// tree it lists), the reference update service on localhost:8443 of a
// network namespace of this benchmark's own, and the test CA in a CA bundle
// laid over the system's one in this benchmark's mount namespace. Nothing
// outside the namespaces sees any of it; it needs root, and says so and
// measures nothing without.
//
// The watches are simulated in this process (DiveWatchSim), each on a pty
// of its own pacing its line as a UART at BAUD (8N1) and holding each commit
// answer for COMMIT_MS, so the station's process holds only what the tool
// holds and its CPU is the tool's alone. A watch is plugged in by its tty
// appearing in the tree's class/tty; several are plugged in at once by
// exchanging class/tty for one that holds them all in one step.
//
// For each COUNT, a fresh station, idle once its images are fetched, gets
// COUNT watches plugged in at once. Printed per count:
//   - the writing's span: from the first frame any watch received to the
//     last finish frame, and that span over one watch's (1.0: the watches
//     cost each other nothing);
//   - host CPU, all from the station process's CPU clock (user + system of
//     all its threads, those ended too):
//       the blocks alone per block per watch: every thread's but the main
//       one's (which looks at the tree), from the moment every watch has
//       answered its first block to the moment every one has answered its
//       last, over the blocks in between: the writing threads, and the
//       output, run-log and history threads they report to;
//       the look at the tree: CPU per second while the watches stay
//       connected after their runs, when the station does nothing else (and
//       before the plug, with none connected);
//       in all: from the plug until every run has ended, over blocks x
//       watches; and what is left of it after the looks and the blocks, per
//       watch (each run's start and end: the history, the port, the log);
//   - peak memory: the images plus the growth of the station's peak
//     resident set (VmHWM, restarted at the plug) over its resident set
//     while idle, against the images plus 1 MiB per watch.
// Then, in one more station, PLUGS watches are plugged in one at a time,
// each at a pseudo-random moment after the previous one's first frame:
// plug-to-first-frame is the time from the tty's appearance in the tree to
// the simulated watch's receiving the first frame, median over the plugs.
// Every watch's memory is compared with the image and every station must end
// with exit code 0 after Ctrl-C.
//
// usage: station_bench BAUD BLOCKS COMMIT_MS PLUGS COUNT...
// A COUNT given several times is run as many times, its figures the medians
// of its rounds; the first COUNT's span is the one the others are set
// against.
// The last line holds the figures as name=value pairs.
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_figures.h"
#include "testing/child_program.h"
#include "testing/random_image.h"
#include "testing/sysfs_tree.h"
#include "testing/temp_folder.h"
#include "testing/temp_home.h"
#include "testing/whole_file.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"
#include "tools/update_service/reference_update_service.h"
#include "transfer/device_frame.h"

namespace kestrune {
namespace {
namespace fs = std::filesystem;
using namespace testing_support;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::runtime_error Failure(const std::string& what) {
  return std::runtime_error(what + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
}

// A mount and network namespace of this process's own, with loopback up and
// the test CA added to the system's CA bundle there: the update service can
// listen on 8443 and the station trusts it, unseen by the rest of the
// machine. Must run before any thread starts. False (with the reason) where
// namespaces cannot be had.
bool EnterPrivateNamespaces(const fs::path& bundle, std::string& why) {
  if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
    why = std::string("no private mount and network namespace here (") + std::strerror(errno) +
          "; it needs root)";
    return false;
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    throw Failure("making the mounts private");
  }
  const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
  ifreq loopback{};
  std::strcpy(loopback.ifr_name, "lo");
  if (socket < 0 || ::ioctl(socket, SIOCGIFFLAGS, &loopback) != 0) throw Failure("reading lo");
  loopback.ifr_flags |= IFF_UP;
  if (::ioctl(socket, SIOCSIFFLAGS, &loopback) != 0) throw Failure("bringing lo up");
  ::close(socket);
  const char* systemBundle = "/etc/ssl/certs/ca-certificates.crt";
  WriteWholeFile(bundle, ReadWholeFile(systemBundle) + ReadWholeFile(TestCaFile()));
  if (::mount(bundle.c_str(), systemBundle, nullptr, MS_BIND, nullptr) != 0) {
    throw Failure("laying the CA bundle over the system's");
  }
  return true;
}

// The device tree the station lists: a root hub and each watch as a
// CDC-ACM device on it, its tty listed once it is plugged in.
class PlugFixture {
 public:
  PlugFixture() { tree_.UsbDevice(kHub, "1d6b", "0002"); }
  const fs::path& root() const { return tree_.root(); }

  // A watch's device folders with its tty, not yet in class/tty.
  void Prepare(const std::string& serial, const std::string& slavePath) {
    const std::string bus = "1-" + std::to_string(++devices_);
    tree_.UsbDevice(kHub + "/" + bus, "1915", "52f0", serial);
    const fs::path interface = tree_.UsbInterface(kHub + "/" + bus + "/" + bus + ":1.0", "00");
    const std::string name = "ttyACM" + std::to_string(devices_ - 1);
    const fs::path tty = interface / "tty" / name;
    fs::create_directories(tty);
    fs::create_directory_symlink(fs::relative(interface, tty), tty / "device");
    WriteWholeFile(tty / "uevent", "MAJOR=166\nMINOR=" + std::to_string(devices_ - 1) +
                                       "\nDEVNAME=" + slavePath.substr(std::strlen("/dev/")) +
                                       "\n");
    prepared_.push_back(tty);
  }

  // Every prepared watch appears at once: a class/tty that holds them and
  // those already plugged in takes the old one's place in one step.
  void PlugPrepared() {
    const fs::path listed = root() / "class" / "tty";
    const fs::path next = root() / "class" / "tty.next";
    fs::create_directories(next);
    for (const fs::directory_entry& entry : fs::directory_iterator(listed)) {
      fs::create_directory_symlink(fs::read_symlink(entry.path()), next / entry.path().filename());
    }
    for (const fs::path& tty : prepared_) {
      fs::create_directory_symlink(fs::relative(tty, listed), next / tty.filename());
    }
    prepared_.clear();
    if (::renameat2(AT_FDCWD, next.c_str(), AT_FDCWD, listed.c_str(), RENAME_EXCHANGE) != 0) {
      throw Failure("exchanging class/tty");
    }
    fs::remove_all(next);
  }

 private:
  const std::string kHub = "pci0000:00/0000:00:14.0/usb1";
  SysfsTree tree_;
  int devices_ = 0;
  std::vector<fs::path> prepared_;
};

// A simulated watch and when its finish frame arrived.
class TimedWatch {
 public:
  TimedWatch(const DiveWatchPacing& pacing, std::string serial)
      : serial_(std::move(serial)), sim_({}, pacing) {
    sim_.OnFinish([this] {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = Clock::now();
      finishSeen_.notify_all();
    });
  }
  const std::string& serial() const { return serial_; }
  const DiveWatchSim& sim() const { return sim_; }
  // When the first frame had crossed the line, waiting up to `timeout`.
  Clock::time_point FirstFrame(std::chrono::seconds timeout) const {
    if (!sim_.WaitForFrames(1, timeout)) throw std::runtime_error(serial_ + " got no frame");
    return *sim_.FirstFrameAt();
  }
  // When the finish frame arrived, waiting up to `timeout`.
  Clock::time_point Finished(std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!finishSeen_.wait_for(lock, timeout, [&] { return finished_ != Clock::time_point{}; })) {
      throw std::runtime_error(serial_ + " was not finished");
    }
    return finished_;
  }

 private:
  std::string serial_;
  DiveWatchSim sim_;
  std::mutex mutex_;
  std::condition_variable finishSeen_;
  Clock::time_point finished_{};
};

// `kestrune-update station` over `sysfs`, in a mount namespace of its own;
// its output lands in `work`.
class Station {
 public:
  Station(const fs::path& sysfs, const fs::path& work)
      : out_(work / "station.out"), err_(work / "station.err") {
    std::string program = KESTRUNE_UPDATE_PROGRAM, command = "station";
    char* argv[] = {program.data(), command.data(), nullptr};
    // The station speaks English whatever the caller's locale: its lines are
    // read below.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable = *entry;
      if (variable.rfind("LANG", 0) != 0 && variable.rfind("LC_", 0) != 0) {
        environment.push_back(variable);
      }
    }
    environment.push_back("LC_ALL=C.UTF-8");
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string tree = sysfs.string(), out = out_.string(), err = err_.string();
    pid_ = ::fork();
    if (pid_ < 0) throw Failure("fork");
    if (pid_ == 0) {
      // Only system calls between fork and exec: other threads held locks.
      const int in = ::open("/dev/null", O_RDONLY);
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (in < 0 || o < 0 || e < 0 || ::unshare(CLONE_NEWNS) != 0 ||
          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount(tree.c_str(), "/sys", nullptr, MS_BIND, nullptr) != 0 ||
          ::dup2(in, STDIN_FILENO) < 0 || ::dup2(o, STDOUT_FILENO) < 0 ||
          ::dup2(e, STDERR_FILENO) < 0) {
        ::_exit(126);
      }
      ::execve(argv[0], argv, envp.data());
      ::_exit(127);
    }
    if (::clock_getcpuclockid(pid_, &cpuClock_) != 0) throw Failure("the station's CPU clock");
    WaitFor(err_, "waiting for watches", std::chrono::seconds(60));
  }
  ~Station() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // User + system time of all the station's threads, those ended too.
  double CpuSeconds() const {
    timespec t{};
    if (::clock_gettime(cpuClock_, &t) != 0) throw Failure("reading the station's CPU clock");
    return t.tv_sec + t.tv_nsec * 1e-9;
  }
  // CPU time of each of the station's threads now running but its main one
  // (which looks at the tree), by thread id, from the kernel's scheduler
  // statistics.
  std::map<std::string, double> WorkerCpuSeconds() const {
    std::map<std::string, double> threads;
    const fs::path tasks = "/proc/" + std::to_string(pid_) + "/task";
    std::error_code ec;
    for (fs::directory_iterator it(tasks, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string id = it->path().filename().string();
      if (id == std::to_string(pid_)) continue;
      std::ifstream schedstat(it->path() / "schedstat");
      double ns = 0;
      if (schedstat >> ns) threads[id] = ns * 1e-9;
    }
    return threads;
  }
  // Kilobytes of a field of the station's /proc status ("VmRSS", "VmHWM").
  long StatusKb(const char* field) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);) {
      if (line.compare(0, prefix.size(), prefix) == 0)
        return std::atol(line.c_str() + prefix.size());
    }
    throw std::runtime_error(std::string("no ") + field + " of the station");
  }
  // Restarts the station's peak resident set (VmHWM) at its current one.
  void ResetPeak() const {
    std::ofstream clear("/proc/" + std::to_string(pid_) + "/clear_refs");
    clear << "5";
    if (!clear.flush()) throw std::runtime_error("the station's peak cannot be restarted");
  }
  // Waits until the station has said that `serial`'s run ended done.
  void WaitForDone(const std::string& serial, std::chrono::seconds timeout) const {
    WaitFor(out_, serial + "  ", "  Update complete", timeout);
  }
  // Ctrl-C: the station ends with its summary; its exit code.
  int Interrupt() {
    ::kill(pid_, SIGINT);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string Output() const { return ReadWholeFile(out_) + ReadWholeFile(err_); }

 private:
  // Waits for a line of `file` that holds `first` and then `second`.
  void WaitFor(const fs::path& file, const std::string& first, const std::string& second,
               std::chrono::seconds timeout) const {
    const Clock::time_point until = Clock::now() + timeout;
    for (;;) {
      std::ifstream in(file);
      for (std::string line; std::getline(in, line);) {
        const std::size_t at = line.find(first);
        if (at != std::string::npos && line.find(second, at + first.size()) != std::string::npos) {
          return;
        }
      }
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("the station ended:\n" + Output());
      }
      if (Clock::now() > until) {
        throw std::runtime_error("the station did not say '" + first + "..." + second + "':\n" +
                                 Output());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  void WaitFor(const fs::path& file, const std::string& text, std::chrono::seconds timeout) const {
    WaitFor(file, text, "", timeout);
  }

  fs::path out_, err_;
  mutable pid_t pid_ = -1;
  clockid_t cpuClock_{};
};

struct Firmware {
  Bytes image;
  double mib;
  std::uint32_t blocks;
};

void CheckWritten(const TimedWatch& watch, const Firmware& firmware) {
  if (watch.sim().Memory(0x8000, firmware.image.size()) != firmware.image ||
      watch.sim().FinishCount() != 1) {
    throw std::runtime_error(watch.serial() + " does not hold the image once finished");
  }
}

void EndStation(Station& station) {
  const std::string output = station.Output();
  const int code = station.Interrupt();
  if (code != 0) {
    throw std::runtime_error("the station ended with " + std::to_string(code) + ":\n" + output);
  }
}

struct ScaleRound {
  double spanSeconds;
  double writingCpuMsPerBlock;  // the blocks alone, the look at the tree taken out
  double stationCpuMsPerBlock;  // everything the station did from the plug to the last end
  double restCpuMsPerWatch;     // each run's start and end: the rest over the watches
  double lookCpuMsPerSecond;    // the look at the tree with the watches connected
  double emptyLookCpuMsPerSecond;
  double memoryMib;
};

// The station's CPU time at the moment every watch has answered `blocks`
// blocks.
struct CpuAt {
  double seconds;
  std::map<std::string, double> workers;
  Clock::time_point at;
};
CpuAt WhenEveryWatchAnswered(const Station& station,
                             const std::vector<std::unique_ptr<TimedWatch>>& watches,
                             std::size_t blocks, std::chrono::seconds timeout) {
  const Clock::time_point until = Clock::now() + timeout;
  while (!std::all_of(watches.begin(), watches.end(),
                      [&](const auto& watch) { return watch->sim().AcceptedBlocks() >= blocks; })) {
    if (Clock::now() > until) throw std::runtime_error("the blocks were not answered");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return {station.CpuSeconds(), station.WorkerCpuSeconds(), Clock::now()};
}

// The station's CPU per second while it does nothing but look at the tree.
double LookCpuMsPerSecond(const Station& station) {
  const double before = station.CpuSeconds();
  const Clock::time_point from = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  return (station.CpuSeconds() - before) * 1e3 / Seconds(Clock::now() - from);
}

// Round `roundNumber`'s watches have serial numbers of their own: the history
// would leave a watch written in an earlier round unwritten.
ScaleRound WriteAtOnce(const Firmware& firmware, const DiveWatchPacing& pacing, int count,
                       int roundNumber) {
  TempFolder work("station-bench");
  PlugFixture fixture;
  std::vector<std::unique_ptr<TimedWatch>> watches;
  for (int i = 0; i < count; ++i) {
    char serial[32];
    std::snprintf(serial, sizeof serial, "KB-%d-%02d", roundNumber, i + 1);
    watches.push_back(std::make_unique<TimedWatch>(pacing, serial));
    fixture.Prepare(serial, watches.back()->sim().SlavePath());
  }
  Station station(fixture.root(), work.path());
  ScaleRound round{};
  round.emptyLookCpuMsPerSecond = LookCpuMsPerSecond(station);
  const long idleKb = station.StatusKb("VmRSS");
  station.ResetPeak();
  const double cpuBefore = station.CpuSeconds();
  fixture.PlugPrepared();
  const Clock::time_point plugged = Clock::now();
  const auto timeout = std::chrono::seconds(60 + 10 * firmware.blocks);
  const CpuAt firstAnswered = WhenEveryWatchAnswered(station, watches, 1, timeout);
  const CpuAt lastAnswered = WhenEveryWatchAnswered(station, watches, firmware.blocks, timeout);
  Clock::time_point first = Clock::time_point::max(), last{};
  Clock::time_point lastFirst{}, firstLast = Clock::time_point::max();
  for (const auto& watch : watches) {
    first = std::min(first, watch->FirstFrame(timeout));
    lastFirst = std::max(lastFirst, watch->FirstFrame(timeout));
    last = std::max(last, watch->Finished(timeout));
    firstLast = std::min(firstLast, watch->Finished(timeout));
    station.WaitForDone(watch->serial(), timeout);
  }
  // Where a longer span comes from: the watches' starts, or their writing.
  std::printf("    first frames within %.3f s of each other, finish frames within %.3f s\n",
              Seconds(lastFirst - first), Seconds(last - firstLast));
  const double cpuMs = (station.CpuSeconds() - cpuBefore) * 1e3;
  const Clock::time_point ended = Clock::now();
  const long peakKb = station.StatusKb("VmHWM");
  // The watches stay connected, each done: from now on the station only
  // looks at the tree (the history's last rows given a moment first).
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  round.lookCpuMsPerSecond = LookCpuMsPerSecond(station);
  EndStation(station);
  for (const auto& watch : watches) CheckWritten(*watch, firmware);

  // Every thread but the one that looks at the tree, over the blocks: the
  // writing threads, and the output, run-log and history threads they report
  // to.
  double writingMs = 0;
  std::vector<double> threadMs;
  for (const auto& [thread, seconds] : lastAnswered.workers) {
    const auto before = firstAnswered.workers.find(thread);
    if (before == firstAnswered.workers.end()) continue;
    threadMs.push_back((seconds - before->second) * 1e3);
    writingMs += threadMs.back();
  }
  std::sort(threadMs.rbegin(), threadMs.rend());
  std::printf("    the blocks' threads, most first (ms):");
  for (std::size_t i = 0; i < threadMs.size() && i < 6; ++i) std::printf(" %.3f", threadMs[i]);
  std::printf("\n");
  const double blocksBetween = (firmware.blocks - 1.0) * count;
  round.spanSeconds = Seconds(last - first);
  round.writingCpuMsPerBlock = writingMs / blocksBetween;
  round.stationCpuMsPerBlock = cpuMs / (firmware.blocks * count);
  round.restCpuMsPerWatch = (cpuMs - round.lookCpuMsPerSecond * Seconds(ended - plugged) -
                             round.writingCpuMsPerBlock * firmware.blocks * count) /
                            count;
  round.memoryMib = firmware.mib + static_cast<double>(peakKb - idleKb) / 1024.0;
  return round;
}

// Watches plugged in one at a time; each one's plug-to-first-frame time.
std::vector<double> PlugOneByOne(const DiveWatchPacing& pacing, const Firmware& firmware,
                                 int plugs) {
  TempFolder work("station-bench");
  PlugFixture fixture;
  Station station(fixture.root(), work.path());
  // Plugs land anywhere in the station's second between two looks.
  std::mt19937 random(2026);
  std::uniform_int_distribution<int> pauseMs(100, 1100);
  std::vector<std::unique_ptr<TimedWatch>> watches;
  std::vector<double> latencies;
  for (int i = 0; i < plugs; ++i) {
    char serial[32];
    std::snprintf(serial, sizeof serial, "KB-P-%02d", i + 1);
    watches.push_back(std::make_unique<TimedWatch>(pacing, serial));
    fixture.Prepare(serial, watches.back()->sim().SlavePath());
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
    fixture.PlugPrepared();
    const Clock::time_point plugged = Clock::now();
    latencies.push_back(Seconds(watches.back()->FirstFrame(std::chrono::seconds(30)) - plugged));
    std::printf("  plug %d: first frame after %.3f s\n", i + 1, latencies.back());
    std::fflush(stdout);
  }
  const auto timeout = std::chrono::seconds(60 + 10 * firmware.blocks);
  for (const auto& watch : watches) {
    watch->Finished(timeout);
    station.WaitForDone(watch->serial(), timeout);
  }
  EndStation(station);
  for (const auto& watch : watches) CheckWritten(*watch, firmware);
  return latencies;
}

int Bench(int baud, std::uint32_t blocks, int commitMs, int plugs, const std::vector<int>& counts) {
  TempFolder work("station-bench");
  std::string why;
  if (!EnterPrivateNamespaces(work.path() / "ca-bundle.crt", why)) {
    std::printf("station_bench: not measured: %s\nskipped=1\n", why.c_str());
    return 0;
  }
  TempHome home;
  const Firmware firmware{RandomImage(std::size_t{blocks} * kBlockSize, 2024),
                          blocks * kBlockSize / (1024.0 * 1024.0), blocks};
  fs::create_directories(work.path() / "images");
  WriteWholeFile(work.path() / "images" / "1-00008000.bin", firmware.image);
  ChildProgram service({KESTRUNE_UPDATE_SERVICE_PROGRAM, "--port", "8443", "--images",
                        (work.path() / "images").string()});
  if (service.FirstLine().rfind("ready ", 0) != 0) {
    throw std::runtime_error("update service: '" + service.FirstLine() + "'");
  }
  const DiveWatchPacing pacing{static_cast<std::uint32_t>(baud),
                               std::chrono::milliseconds(commitMs)};
  std::printf("kestrune-update station, %d baud, %u blocks, %d ms commit delay; images %.3f MiB\n",
              baud, blocks, commitMs, firmware.mib);
  // A count given more than once is run that many times; its figures are
  // the medians of its rounds.
  std::vector<int> order;
  std::map<int, std::vector<ScaleRound>> rounds;
  std::vector<double> emptyLooks;
  for (const int count : counts) {
    if (rounds.count(count) == 0) order.push_back(count);
    const ScaleRound round =
        WriteAtOnce(firmware, pacing, count, static_cast<int>(emptyLooks.size()) + 1);
    rounds[count].push_back(round);
    emptyLooks.push_back(round.emptyLookCpuMsPerSecond);
    std::printf(
        "  %d watch(es) at once: %.3f s from the first frame to the last finish frame\n"
        "    station CPU per block per watch: %.3f ms in all; the blocks alone %.3f ms; each "
        "run's start and end %.1f ms per watch; the look at the tree %.3f ms/s with the watches "
        "connected (%.3f ms/s with none)\n"
        "    images + peak growth %.2f MiB (images + 1 MiB per watch: %.2f MiB)\n",
        count, round.spanSeconds, round.stationCpuMsPerBlock, round.writingCpuMsPerBlock,
        round.restCpuMsPerWatch, round.lookCpuMsPerSecond, round.emptyLookCpuMsPerSecond,
        round.memoryMib, firmware.mib + count);
    std::fflush(stdout);
  }
  const auto median = [&rounds](int count, double ScaleRound::*field) {
    std::vector<double> values;
    for (const ScaleRound& round : rounds[count]) values.push_back(round.*field);
    return Median(values);
  };
  const double oneWatch = median(order.front(), &ScaleRound::spanSeconds);
  std::string figures;
  char pairs[640];
  for (const int count : order) {
    const double ratio = median(count, &ScaleRound::spanSeconds) / oneWatch;
    const double budgetMib = firmware.mib + count;
    std::printf(
        "  %d watch(es), median of %zu round(s): over %d watch(es) %.4f, the blocks alone "
        "%.3f ms/block/watch\n",
        count, rounds[count].size(), order.front(), ratio,
        median(count, &ScaleRound::writingCpuMsPerBlock));
    std::snprintf(pairs, sizeof pairs,
                  "wall_over_one_%d=%.4f cpu_ms_per_block_%d=%.3f station_cpu_ms_per_block_%d=%.3f "
                  "run_cpu_ms_%d=%.1f look_cpu_ms_per_s_%d=%.3f memory_mib_%d=%.2f "
                  "memory_budget_mib_%d=%.2f ",
                  count, ratio, count, median(count, &ScaleRound::writingCpuMsPerBlock), count,
                  median(count, &ScaleRound::stationCpuMsPerBlock), count,
                  median(count, &ScaleRound::restCpuMsPerWatch), count,
                  median(count, &ScaleRound::lookCpuMsPerSecond), count,
                  median(count, &ScaleRound::memoryMib), count, budgetMib);
    figures += pairs;
  }
  std::printf("  %d watches plugged in one at a time:\n", plugs);
  const std::vector<double> latencies = PlugOneByOne(pacing, firmware, plugs);
  const double plugMedian = Median(latencies);
  std::printf("  plug-to-first-frame: median %.3f s, %.3f to %.3f s\n", plugMedian,
              *std::min_element(latencies.begin(), latencies.end()),
              *std::max_element(latencies.begin(), latencies.end()));
  std::snprintf(pairs, sizeof pairs, "plug_first_frame_s=%.3f empty_look_cpu_ms_per_s=%.3f",
                plugMedian, Median(emptyLooks));
  figures += pairs;
  std::printf("%s\n", figures.c_str());
  return 0;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  if (argc < 6) {
    std::cerr << "usage: station_bench BAUD BLOCKS COMMIT_MS PLUGS COUNT...\n";
    return 2;
  }
  try {
    std::vector<int> counts;
    for (int i = 5; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
    return kestrune::Bench(std::atoi(argv[1]), static_cast<std::uint32_t>(std::atoi(argv[2])),
                           std::atoi(argv[3]), std::max(1, std::atoi(argv[4])), counts);
  } catch (const std::exception& e) {
    std::cerr << "station_bench: " << e.what() << "\n";
    return 1;
  }
}
