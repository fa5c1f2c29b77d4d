#pragma once
// The command-line updater's exit codes: fixed, one per outcome, listed by
// --help and the README.

#include <string>

namespace kestrune {

enum class ExitCode : int {
  kDone = 0,
  kOtherFailure = 1,
  kBadUsage = 2,
  kNoWatch = 3,
  kNoUpdateData = 4,
  kImageDownloadFailed = 5,
  kImageWrongSize = 6,
  kBlockRefused = 7,
  kPortUnavailable = 8,
  kWatchSilent = 9,
  // Several watches were to be written and at least one did not end with
  // "更新完成"; the summary and the JSON result say which and why.
  kSomeWatchesFailed = 11,
  kHangUp = 129,       // 128 + SIGHUP: the terminal closed
  kInterrupted = 130,  // 128 + SIGINT: Ctrl-C (also Ctrl-Break on Windows)
  kTerminated = 143,   // 128 + SIGTERM
};

// The exit code for the last status a check or an update run posted.
ExitCode ExitCodeForStatus(const std::u16string& lastStatus);

// The stable English word for an exit code, as the JSON result carries it
// ("done", "no_watch", "usage", ...); "interrupted" for 128 + a signal.
const char* ExitReason(int code);

// The version of the JSON lines' layout, carried by every result line.
constexpr int kJsonSchema = 1;

// The table printed by --help, one "code  meaning" line each.
const char* ExitCodeTable();

}  // namespace kestrune
