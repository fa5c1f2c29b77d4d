#pragma once
// How the runs of several watches ended, and what the program makes of
// them: the summary line of each watch and the exit code of the whole.

#include <string>
#include <vector>

#include "transfer/run_cause.h"
#include "transfer/run_outcome.h"

namespace kestrune {

// One watch's run in an update of several watches or a station session.
struct WatchOutcome {
  std::string serial;  // the USB serial number; empty when the watch has none
  std::string port;
  // How its run ended; kClosedBeforeWriting when an interrupt kept its
  // writing from beginning.
  RunOutcome outcome = RunOutcome::kFailure;
  int exitCode = 1;  // the single run's code for that outcome, or the interrupt's
  double seconds = 0;  // of its last run
  int tries = 1;       // runs of it in the command (a station tries a watch again)
  RunCause cause;      // why its last run failed, when it did and the run said
};

// The line beneath a watch's summary line: its cause and what to do,
// indented; empty when it has none.
std::string SummaryCauseLine(const WatchOutcome& outcome);

// The single run's code for `outcome`, or `interruptCode` for a run that an
// interrupt kept from writing.
int WatchExitCode(RunOutcome outcome, int interruptCode);

// 0 when every watch ended with "更新完成" (or already had the firmware), 11
// when one did not, and 3 (no watch) when there was none.
int SeveralWatchesExitCode(const std::vector<WatchOutcome>& outcomes);

// The JSON result's word for such an exit code: "done", "no_watch",
// "watches_failed", "interrupted".
const char* SeveralWatchesReason(int exitCode);

// A station session's end: as SeveralWatchesExitCode for the watches it
// wrote, or `interruptCode` (128 + the signal) when it wrote none.
int StationExitCode(const std::vector<WatchOutcome>& outcomes, int interruptCode);

// "KW-0001  /dev/ttyACM0  更新錯誤 (block_refused)  3.2 s  1 try": serial
// (or "-"), port, the outcome's status (or "not written") and reason word,
// the time of its last run, its tries; text from the device tree made safe
// for a terminal.
std::string SummaryLine(const WatchOutcome& outcome);

}  // namespace kestrune
