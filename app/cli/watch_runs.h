#pragma once
// Writes several watches at once from one fetched firmware, one thread per
// watch, each with its own close gate, reporter and tagged run-log lines.
// A failing watch never stops the others. An interrupt stops the starting
// of watches, keeps every watch whose writing has not begun from beginning,
// and lets those being written finish.

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/watch_board.h"
#include "app/cli/watch_outcomes.h"
#include "device/line_abandon.h"
#include "transfer/close_gate.h"
#include "history/skip_rule.h"
#include "transfer/firmware_fetch.h"

namespace kestrune {

class HistoryWriter;
struct DiscoveredWatch;

// A watch to write: its port, and what names it.
struct WatchToWrite {
  std::string serial;    // the USB serial number; empty when it has none
  std::string port;      // what the serial link opens
  std::string location;  // where it is plugged in; empty when unknown
};

// The watch discovery found, as one to write.
WatchToWrite WatchToWriteOf(const DiscoveredWatch& found);

class SeveralWatchRuns {
 public:
  // With `verifyWrittenBlocks`, every watch's written blocks are read back
  // before its finish frame. Each watch's run is recorded in `history`
  // (none: not recorded) by the writer's own thread once it has ended.
  SeveralWatchRuns(std::shared_ptr<const FetchedFirmware> firmware,
                   std::chrono::milliseconds answerTimeout, bool verifyWrittenBlocks,
                   WatchBoard& board, const char* programName, HistoryWriter* history);
  // Waits for every run still going.
  ~SeveralWatchRuns();
  SeveralWatchRuns(const SeveralWatchRuns&) = delete;
  SeveralWatchRuns& operator=(const SeveralWatchRuns&) = delete;

  // Starts writing `watch` on a thread of its own; `ended` hears its outcome
  // on that thread. False, starting nothing, once stopped. `run`, when
  // given, receives the run's number for Abandon.
  bool Start(const WatchToWrite& watch, std::function<void(const WatchOutcome&)> ended = {},
             std::size_t* run = nullptr);

  // The watch of run `run` has left the device tree: its line is gone, and
  // the run ends at its next wait on the line (a link failure).
  void Abandon(std::size_t run);

  // Whether `watch` already has the firmware being written, by the history
  // (`again`: it is written whatever the history says); the look-up and its
  // result are noted in the run log under the watch's tag.
  SkipDecision AlreadyCurrent(const WatchToWrite& watch, bool again);

  // `watch` is left unwritten as `decision` says: recorded in the history,
  // and, when `listed`, shown with its own row and summary line (an update
  // of every watch) rather than only said once (a station).
  void LeaveUnwritten(const WatchToWrite& watch, const SkipDecision& decision, bool listed);

  // An interrupt with `exitCode`: no watch starts from now on, and no watch
  // whose writing has not begun begins. Returns how many are being written.
  int Stop(int exitCode);

  // Whether any watch has begun writing (or is just about to).
  bool AnyWritingBegan() const { return writingBegan_; }

  // Waits until every started run has ended; their outcomes in the order
  // they started.
  std::vector<WatchOutcome> WaitForAll();

 private:
  struct Run {
    WatchToWrite watch;
    CloseGate gate;
    LineAbandon abandon;
    std::thread thread;
    WatchOutcome outcome;
  };
  void Write(Run& run, std::size_t row, const std::function<void(const WatchOutcome&)>& ended);

  std::shared_ptr<const FetchedFirmware> firmware_;
  std::vector<ImageDigest> digests_;  // of firmware_'s images, made once
  HistoryWriter* history_;
  std::chrono::milliseconds answerTimeout_;
  bool verifyWrittenBlocks_;
  WatchBoard& board_;
  const char* programName_;
  std::mutex mutex_;  // runs_ and stopped_
  std::list<Run> runs_;
  bool stopped_ = false;
  std::atomic<int> interruptCode_{0};
  std::atomic<bool> writingBegan_{false};
};

// From now on an interrupt stops `runs`: with `endAtOnceBeforeWriting`,
// before any watch has begun writing the program ends at once with 128 +
// the signal (a JSON run with its result line); otherwise the watches being
// written finish, and `stopped` hears the code (a station always ends so,
// with every watch's result). Call StopHandlingInterrupts before `runs` or
// `board` go.
void StopSeveralWatchesOnInterrupt(SeveralWatchRuns& runs, WatchBoard& board,
                                   std::function<void(int exitCode)> stopped,
                                   bool endAtOnceBeforeWriting = true);

}  // namespace kestrune
