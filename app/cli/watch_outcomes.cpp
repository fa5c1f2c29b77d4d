#include "app/cli/watch_outcomes.h"

#include <cstdio>

#include "app/cli/cli_output.h"
#include "update/text_conversion.h"

namespace kestrune {

int WatchExitCode(const std::u16string& status, int interruptCode) {
  if (status.empty()) return interruptCode;
  return static_cast<int>(ExitCodeForStatus(status));
}

ExitCode SeveralWatchesExitCode(const std::vector<WatchOutcome>& outcomes) {
  if (outcomes.empty()) return ExitCode::kNoWatch;
  for (const WatchOutcome& outcome : outcomes) {
    if (outcome.exitCode != static_cast<int>(ExitCode::kDone)) return ExitCode::kSomeWatchesFailed;
  }
  return ExitCode::kDone;
}

int StationExitCode(const std::vector<WatchOutcome>& outcomes, int interruptCode) {
  if (outcomes.empty()) return interruptCode;
  return static_cast<int>(SeveralWatchesExitCode(outcomes));
}

std::string SummaryLine(const WatchOutcome& outcome) {
  const std::string status =
      outcome.status.empty() ? "not written" : WideToUtf8Text(outcome.status);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", outcome.seconds);
  return TerminalSafeText(outcome.serial.empty() ? "-" : outcome.serial, false) + "  " +
         TerminalSafeText(outcome.port, false) + "  " + status + " (" +
         ExitReason(outcome.exitCode) + ")  " + seconds;
}

}  // namespace kestrune
