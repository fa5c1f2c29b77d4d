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
  kInterrupted = 130,
};

// The exit code for the last status a check or an update run posted.
ExitCode ExitCodeForStatus(const std::u16string& lastStatus);

// The table printed by --help, one "code  meaning" line each.
const char* ExitCodeTable();

}  // namespace kestrune
