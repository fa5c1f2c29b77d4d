#include "transfer/logged_runs.h"

#include "transfer/logged_firmware_update_reporter.h"
#include "transfer/update_environment.h"
#include "update/logged_update_check_reporter.h"
#include "update/run_log.h"

namespace kestrune {

UpdateCheckOutcome RunLoggedUpdateCheck(UpdateCheckReporter& frontEnd, const char* programName) {
  LoggedUpdateCheckReporter reporter(frontEnd, UserRunLog(), programName);
  try {
    const UpdateEnvironment environment = PlatformUpdateEnvironment();
    return RunUpdateCheckProcedure(reporter, environment.downloader, environment.downloadLimits);
  } catch (...) {
    reporter.PostStatus(UpdateCheckStatus(UpdateCheckOutcome::kNoUpdateData));
    return UpdateCheckOutcome::kNoUpdateData;
  }
}

RunOutcome RunLoggedFirmwareUpdate(FirmwareUpdateReporter& frontEnd,
                                   std::function<SharedManifestText()> manifestText,
                                   CloseGate* closeGate, const char* programName,
                                   const std::u16string& portPath) {
  LoggedFirmwareUpdateReporter reporter(frontEnd, UserRunLog(), programName);
  try {
    const UpdateEnvironment environment = PlatformUpdateEnvironment();
    FirmwareUpdateEnvironment run =
        environment.ForFirmwareUpdate(std::move(manifestText), closeGate);
    run.portPath = portPath;
    return RunFirmwareUpdateProcedure(reporter, run);
  } catch (...) {
    reporter.PostStatus(RunOutcomeStatus(RunOutcome::kFailure));
    return RunOutcome::kFailure;
  }
}

}  // namespace kestrune
