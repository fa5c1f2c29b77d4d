#include "app/cli/exit_codes.h"

#include "transfer/power_check.h"

namespace kestrune {

const char* ExitReason(int code) {
  if (code == static_cast<int>(ExitCode::kBadUsage)) return "usage";
  if (code == static_cast<int>(ExitCode::kSomeWatchesFailed)) return "watches_failed";
  return code > 128 ? "interrupted" : "failure";
}

std::vector<std::pair<std::string, std::string>> OutcomeMessage(RunOutcome outcome) {
  if (outcome == RunOutcome::kPowerLow) return {{"message", kConnectChargerAdvice}};
  return {};
}

const char* ExitCodeTable() {
  return "  0    done (update written, manifest fetched, watch found)\n"
         "  1    another failure\n"
         "  2    bad usage; also several watches connected and none chosen\n"
         "  3    no watch found (or none with the --serial given)\n"
         "  4    no update data (manifest missing or unusable)\n"
         "  5    an image could not be downloaded\n"
         "  6    an image has the wrong size\n"
         "  7    the watch refused a block\n"
         "  8    the watch's port cannot be opened, or another program has it open\n"
         "  9    the watch stopped answering\n"
         "  10   the line to the watch failed mid-write (hang-up, I/O error, unplugged)\n"
         "  11   several watches: at least one was not updated (see the summary)\n"
         "  12   the battery is too weak for the writing: connect the charger\n"
         "       (or give --ignore-power); nothing was written\n"
         "  13   the watch already has the offered firmware (by the history); not\n"
         "       written\n"
         "  129  hung up (SIGHUP) before writing began\n"
         "  130  interrupted (Ctrl-C) before writing began\n"
         "  143  terminated (SIGTERM) before writing began\n";
}

}  // namespace kestrune
