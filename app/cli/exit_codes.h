#pragma once
// The command-line updater's exit codes: fixed, one per outcome, listed by
// --help and the README.

#include <string>
#include <utility>
#include <vector>

#include "transfer/run_outcome.h"

namespace kestrune {

// The codes of the command line itself; a run's own code comes with its
// outcome (RunOutcomeExitCode: 0, 1, 3 to 10).
enum class ExitCode : int {
  kBadUsage = 2,
  // Several watches were to be written and at least one did not end with
  // "更新完成"; the summary and the JSON result say which and why.
  kSomeWatchesFailed = 11,
  kHangUp = 129,       // 128 + SIGHUP: the terminal closed
  kInterrupted = 130,  // 128 + SIGINT: Ctrl-C (also Ctrl-Break on Windows)
  kTerminated = 143,   // 128 + SIGTERM
};

// The stable English word of the command line's own codes, as the JSON
// result carries it: "usage", "interrupted" for 128 + a signal, and
// "failure" for any other code that comes without an outcome.
const char* ExitReason(int code);

// The JSON result's "message" for a run that ended with `outcome`, where it
// has one: kPowerLow's advice to connect the charger.
std::vector<std::pair<std::string, std::string>> OutcomeMessage(RunOutcome outcome);

// The version of the JSON lines' layout, carried by every result line.
constexpr int kJsonSchema = 1;

// The table printed by --help, one "code  meaning" line each.
const char* ExitCodeTable();

}  // namespace kestrune
