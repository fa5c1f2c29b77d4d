#pragma once
// How the runs of several watches ended, and what the program makes of
// them: the summary line of each watch and the exit code of the whole.

#include <string>
#include <vector>

#include "app/cli/exit_codes.h"

namespace kestrune {

// One watch's run in an update of several watches or a station session.
struct WatchOutcome {
  std::string serial;  // the USB serial number; empty when the watch has none
  std::string port;
  // The last status its run posted; empty when an interrupt kept its
  // writing from beginning.
  std::u16string status;
  int exitCode = 0;  // the single run's code for that status, or the interrupt's
  double seconds = 0;
};

// The outcome's code: the single run's code for its status, or
// `interruptCode` for a run that an interrupt kept from writing.
int WatchExitCode(const std::u16string& status, int interruptCode);

// 0 when every watch ended with "更新完成", 11 when one did not, and 3 (no
// watch) when there was none.
ExitCode SeveralWatchesExitCode(const std::vector<WatchOutcome>& outcomes);

// A station session's end: as SeveralWatchesExitCode for the watches it
// wrote, or `interruptCode` (128 + the signal) when it wrote none.
int StationExitCode(const std::vector<WatchOutcome>& outcomes, int interruptCode);

// "KW-0001  /dev/ttyACM0  更新錯誤 (block_refused)  3.2 s": serial (or "-"),
// port, last status and its reason word, time; text from the device tree
// made safe for a terminal.
std::string SummaryLine(const WatchOutcome& outcome);

}  // namespace kestrune
