#include "app/cli/watch_outcomes.h"

#include <cstdio>

#include "app/cli/cli_output.h"
#include "app/cli/exit_codes.h"
#include "app/frontend/shown_status.h"
#include "update/text_conversion.h"
#include "i18n/translate.h"

namespace kestrune {

int WatchExitCode(RunOutcome outcome, int interruptCode) {
  if (outcome == RunOutcome::kClosedBeforeWriting) return interruptCode;
  return RunOutcomeExitCode(outcome);
}

int SeveralWatchesExitCode(const std::vector<WatchOutcome>& outcomes) {
  if (outcomes.empty()) return RunOutcomeExitCode(RunOutcome::kNoWatch);
  for (const WatchOutcome& outcome : outcomes) {
    // A watch left as it was because it already has the firmware is as
    // good as one written.
    if (outcome.outcome != RunOutcome::kDone && outcome.outcome != RunOutcome::kAlreadyCurrent) {
      return static_cast<int>(ExitCode::kSomeWatchesFailed);
    }
  }
  return RunOutcomeExitCode(RunOutcome::kDone);
}

const char* SeveralWatchesReason(int exitCode) {
  if (exitCode == RunOutcomeExitCode(RunOutcome::kDone)) return RunOutcomeReason(RunOutcome::kDone);
  if (exitCode == RunOutcomeExitCode(RunOutcome::kNoWatch)) {
    return RunOutcomeReason(RunOutcome::kNoWatch);
  }
  return ExitReason(exitCode);
}

int StationExitCode(const std::vector<WatchOutcome>& outcomes, int interruptCode) {
  if (outcomes.empty()) return interruptCode;
  return SeveralWatchesExitCode(outcomes);
}

std::string SummaryLine(const WatchOutcome& outcome) {
  const std::u16string status = RunOutcomeStatus(outcome.outcome);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", outcome.seconds);
  const unsigned long tries = outcome.tries < 0 ? 0 : static_cast<unsigned long>(outcome.tries);
  return TerminalSafeText(outcome.serial.empty() ? "-" : outcome.serial, false) + "  " +
         TerminalSafeText(outcome.port, false) + "  " +
         (status.empty() ? Tr("not written") : ShownStatus(status)) + " (" +
         RunOutcomeReason(outcome.outcome) + ")  " + Tr("{1} s", {seconds}) + "  " +
         TrN("{1} try", "{1} tries", tries, {std::to_string(outcome.tries)});
}

std::string SummaryCauseLine(const WatchOutcome& outcome) {
  if (!outcome.cause.Known()) return {};
  return "      " + TerminalSafeText(RunCauseLine(outcome.cause), false);
}

}  // namespace kestrune
