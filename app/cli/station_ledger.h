#pragma once
// The station's rules, apart from any thread, port or clock of its own: what
// it does about each listing of the device tree and each run's end.
//
// - A watch is written when it appears. One with a USB serial number is
//   known across plugging; one updated in this session is not written again
//   when it comes back (a watch that re-enumerates after its finish frame
//   would otherwise be flashed in a loop) unless `again`.
// - A watch without a serial number is known only while it stays
//   connected: it is never written twice while it stays, and plugged in
//   again it is written again, since nothing tells it from another watch.
// - A watch whose port was unavailable is tried again while it stays
//   plugged in, after a back-off that grows, a bounded number of times.
// - A watch that was silent, refused a block or lost its line is written
//   again when it is plugged in again. A watch that leaves the tree while
//   it is being written has its run abandoned (its line is gone); plugged in
//   again meanwhile, it is written once that run has ended.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "app/cli/watch_outcomes.h"
#include "transfer/run_outcome.h"

namespace kestrune {

// A watch as one listing of the device tree shows it.
struct SeenWatch {
  std::string serial;    // the USB serial number; empty when it has none
  std::string port;      // what the serial link opens
  std::string location;  // where it is plugged in; empty when unknown
};

// Something the station is to do now.
struct StationStep {
  enum Kind {
    kWrite,    // start a run for the watch
    kAbandon,  // its running run's line is gone: end that run
    kNotice,   // say `text` of the watch; nothing is written
  };
  Kind kind;
  std::size_t watch;  // the ledger's number of the watch
  std::string text;   // why it is written (empty for a first write), or the notice
  std::string shown;  // `text` in the user's language
};

// The station's count of its watches, each by its state now: being
// written, or its last run's end.
struct StationTally {
  int writing = 0;
  int done = 0;
  int failed = 0;
};

// A retry a run's end scheduled.
struct StationRetry {
  bool scheduled = false;
  std::chrono::seconds after{0};
  int attempt = 0;  // the try the retry will be, 2 for the first retry
};

class StationLedger {
 public:
  using Clock = std::chrono::steady_clock;
  // A port that cannot be opened is tried again after 2, 4, 8 and 16 s.
  static constexpr int kPortTries = 5;
  static std::chrono::seconds PortBackOff(int retry);  // retry 1, 2, ...

  // With `again`, a watch updated earlier is written again.
  explicit StationLedger(bool again) : again_(again) {}

  // The device tree now shows `listing`; the steps to take, in order.
  std::vector<StationStep> Look(const std::vector<SeenWatch>& listing, Clock::time_point now);

  // A run of `watch` begins (a try).
  void Started(std::size_t watch);
  // The run of `watch` ended with `outcome` after `seconds` (a failure for
  // `cause`, when the run said); a retry it schedules (port unavailable,
  // still plugged in, tries left).
  StationRetry Finished(std::size_t watch, RunOutcome outcome, double seconds,
                        Clock::time_point now, const RunCause& cause = {});

  // The watch as last seen.
  const SeenWatch& Watch(std::size_t watch) const { return records_.at(watch).seen; }
  // When the next retry is due, if one is waiting.
  bool NextRetry(Clock::time_point& at) const;

  // Every watch written in this session, in the order it first appeared:
  // its last outcome and how many tries it took.
  std::vector<WatchOutcome> Results() const;
  // The same watches counted: a watch written again counts once.
  StationTally Tally() const;
  // The run of `watch` was not started after all (the history says it
  // already has the firmware): it is not counted as a try, and it is
  // decided afresh when it is plugged in again.
  void LeftAsItWas(std::size_t watch);

 private:
  enum class State {
    kIdle,          // not written, or its last run failed: written when it next appears
    kWriting,       // its run has not ended
    kRetryWaiting,  // its port was unavailable; tried again at retryAt
    kUpdated,       // ended "更新完成"
  };
  struct Record {
    SeenWatch seen;
    bool present = false;
    bool closed = false;  // a watch without serial number that left: never matched again
    State state = State::kIdle;
    bool writeWhenEnded = false;  // plugged in again while its run still went
    int tries = 0;
    int portTries = 0;  // tries of this plug-in that found the port unavailable
    Clock::time_point retryAt{};
    bool ended = false;  // a run of it ended
    RunOutcome last = RunOutcome::kFailure;
    RunCause cause;  // of the last outcome
    double seconds = 0;
  };
  // The record a listed watch belongs to; records_.size() when none.
  std::size_t Find(const SeenWatch& seen) const;
  void Appeared(std::size_t watch, std::vector<StationStep>& steps);

  bool again_;
  std::vector<Record> records_;
};

}  // namespace kestrune
