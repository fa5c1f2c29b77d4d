// dive-watch-sim: serves a simulated dive watch on a pseudo-terminal.
//
// Prints the slave device path (one line, flushed) on stdout, then serves
// until SIGTERM, SIGINT or SIGHUP. Dumps are written whenever a finish frame
// arrives and once more at exit, each replaced atomically (written beside
// and renamed), so a reader never sees half a file.
#include "tools/dive_watch_sim/dive_watch_sim.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>

namespace {

using kestrune::DiveWatchFaults;
using kestrune::DiveWatchPacing;
using kestrune::DiveWatchSim;

const char kUsage[] =
    "usage: dive-watch-sim [options]\n"
    "  --refuse-block N          answer block N's commit with accepted 0\n"
    "  --wrong-command-block N   answer block N's commit with command 5\n"
    "  --silent-from-block N     never answer block N or later\n"
    "  --hang-up-in-block N      close the line during block N ...\n"
    "  --hang-up-after-frames K  ... after K of its frames (129: after the commit)\n"
    "  --hang-up-after-finish    close the line once the finish frame has arrived,\n"
    "                            as a watch restarting into its new firmware does\n"
    "  --stop-reading-after N    stop reading once N blocks are answered\n"
    "  --pieces                  send answers as 16 bytes, 5 ms pause, 24 bytes\n"
    "  --piece-pause MS          the pause of --pieces and --partial-answer-block\n"
    "  --partial-answer-block N  answer block N with 16 bytes after the pause, then\n"
    "                            fall silent for good\n"
    "  --read-wrong-index K      served reads: data frame K carries index K+1\n"
    "  --read-wrong-checksum     served reads: ReadEnd checksum off by one\n"
    "  --stale-answer            leave one accepting answer on the line before\n"
    "                            the host opens it\n"
    "  --corrupt-block-once A    store the first write of the block at address A\n"
    "                            (0x9000 or 36864) with one byte changed, still\n"
    "                            accepting it; its next write is stored right\n"
    "  --corrupt-block-always A  the same for every write of the block at A\n"
    "  --baud N                  pace the line as a UART at N baud, 8N1, both ways\n"
    "  --commit-delay MS         answer each commit MS milliseconds after it arrived\n"
    "  --dump FILE               written memory [lowest, highest), gaps 0xFF\n"
    "  --dump-dir DIR            one file per written run: DIR/<address, 8 hex>.bin\n"
    "  --frames FILE             every frame received, 40 bytes each, in order\n"
    "  --opens FILE              how many times the pty was opened (a decimal line)\n"
    "Blocks count from 0 in the order their commits arrive.\n";

struct Outputs {
  std::string dump, dumpDir, frames, opens;
};

bool WriteAtomically(const std::string& path, const void* data, std::size_t size) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void WriteOutputs(const DiveWatchSim& sim, const Outputs& outputs) {
  static std::mutex mutex;  // finish frames and exit may race
  std::lock_guard<std::mutex> lock(mutex);
  const auto regions = sim.WrittenRegions();
  if (!outputs.dump.empty()) {
    std::vector<std::uint8_t> bytes;
    if (!regions.empty()) {
      const std::uint32_t low = regions.front().address;
      const std::uint64_t high =
          regions.back().address + std::uint64_t{regions.back().bytes.size()};
      bytes = sim.Memory(low, static_cast<std::size_t>(high - low));
    }
    if (!WriteAtomically(outputs.dump, bytes.data(), bytes.size()))
      std::perror(outputs.dump.c_str());
  }
  if (!outputs.dumpDir.empty()) {
    for (const auto& region : regions) {
      char name[16];
      std::snprintf(name, sizeof name, "%08x.bin", static_cast<unsigned>(region.address));
      const std::string path = outputs.dumpDir + "/" + name;
      if (!WriteAtomically(path, region.bytes.data(), region.bytes.size()))
        std::perror(path.c_str());
    }
  }
  if (!outputs.opens.empty()) {
    const std::string count = std::to_string(sim.HostOpens()) + "\n";
    if (!WriteAtomically(outputs.opens, count.data(), count.size()))
      std::perror(outputs.opens.c_str());
  }
  if (!outputs.frames.empty()) {
    const auto frames = sim.Frames();
    if (!WriteAtomically(outputs.frames, frames.data(), frames.size() * sizeof(frames[0]))) {
      std::perror(outputs.frames.c_str());
    }
  }
}

bool ParseCount(const char* text, int& out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 1000000) return false;
  out = static_cast<int>(value);
  return true;
}

bool ParseAddress(const char* text, std::optional<std::uint32_t>& out) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 0);
  if (end == text || *end != '\0' || errno != 0 || text[0] == '-' || value > UINT32_MAX)
    return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  DiveWatchFaults faults;
  DiveWatchPacing pacing;
  int baud = 0;
  int commitDelayMs = 0;
  Outputs outputs;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto count = [&](int& field) {
      if (value == nullptr || !ParseCount(value, field)) return false;
      ++i;
      return true;
    };
    auto text = [&](std::string& field) {
      if (value == nullptr) return false;
      field = value;
      ++i;
      return true;
    };
    bool ok = true;
    if (option == "--refuse-block")
      ok = count(faults.refuseBlock);
    else if (option == "--wrong-command-block")
      ok = count(faults.wrongCommandBlock);
    else if (option == "--silent-from-block")
      ok = count(faults.silentFromBlock);
    else if (option == "--hang-up-in-block")
      ok = count(faults.hangUpInBlock);
    else if (option == "--hang-up-after-frames")
      ok = count(faults.hangUpAfterFrames);
    else if (option == "--hang-up-after-finish")
      faults.hangUpAfterFinish = true;
    else if (option == "--stop-reading-after")
      ok = count(faults.stopReadingAfterBlocks);
    else if (option == "--pieces")
      faults.answerInPieces = true;
    else if (option == "--piece-pause") {
      int ms = 0;
      ok = count(ms);
      faults.piecePause = std::chrono::milliseconds(ms);
    } else if (option == "--partial-answer-block")
      ok = count(faults.partialAnswerBlock);
    else if (option == "--read-wrong-index")
      ok = count(faults.readWrongIndexAt);
    else if (option == "--read-wrong-checksum")
      faults.readWrongChecksum = true;
    else if (option == "--stale-answer")
      faults.staleAnswer = true;
    else if (option == "--corrupt-block-once" || option == "--corrupt-block-always") {
      ok = value != nullptr && ParseAddress(value, faults.corruptAddress);
      if (ok) ++i;
      faults.corruptAlways = option == "--corrupt-block-always";
    } else if (option == "--baud")
      ok = count(baud) && baud > 0;
    else if (option == "--commit-delay")
      ok = count(commitDelayMs);
    else if (option == "--dump")
      ok = text(outputs.dump);
    else if (option == "--dump-dir")
      ok = text(outputs.dumpDir);
    else if (option == "--frames")
      ok = text(outputs.frames);
    else if (option == "--opens")
      ok = text(outputs.opens);
    else if (option == "--help") {
      std::cout << kUsage;
      return 0;
    } else
      ok = false;
    if (!ok) {
      std::cerr << "dive-watch-sim: bad option " << option << "\n" << kUsage;
      return 2;
    }
  }
  // A paced line sends its bytes at the line's own pace: answers in pieces
  // would not be sent as asked.
  if (baud > 0 && faults.answerInPieces) {
    std::cerr << "dive-watch-sim: --pieces cannot go with --baud\n" << kUsage;
    return 2;
  }

  // Block the stop signals before the serving thread starts, so only
  // sigwait below ever receives them.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);

  pacing.baud = static_cast<std::uint32_t>(baud);
  pacing.commitDelay = std::chrono::milliseconds(commitDelayMs);
  try {
    DiveWatchSim sim(faults, pacing);
    sim.OnFinish([&sim, &outputs] { WriteOutputs(sim, outputs); });
    std::cout << sim.SlavePath() << std::endl;
    int signal = 0;
    sigwait(&stops, &signal);
    WriteOutputs(sim, outputs);
  } catch (const std::exception& error) {
    std::cerr << "dive-watch-sim: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
