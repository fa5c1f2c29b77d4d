#include "transfer/window_runs.h"

#include "transfer/logged_firmware_update_reporter.h"
#include "transfer/update_environment.h"
#include "update/logged_update_check_reporter.h"
#include "update/run_log.h"

namespace kestrune {

void RunWindowUpdateCheck(UpdateCheckReporter& window, const char* programName) {
  LoggedUpdateCheckReporter reporter(window, UserRunLog(), programName);
  try {
    const UpdateEnvironment environment = PlatformUpdateEnvironment();
    RunUpdateCheckProcedure(reporter, environment.downloader, environment.downloadLimits);
  } catch (...) {
    reporter.PostStatus(kNoUpdateData);
  }
}

void RunWindowFirmwareUpdate(FirmwareUpdateReporter& window,
                             std::function<SharedManifestText()> manifestText, CloseGate* closeGate,
                             const char* programName) {
  LoggedFirmwareUpdateReporter reporter(window, UserRunLog(), programName);
  try {
    const UpdateEnvironment environment = PlatformUpdateEnvironment();
    RunFirmwareUpdateProcedure(reporter,
                               environment.ForFirmwareUpdate(std::move(manifestText), closeGate));
  } catch (...) {
    reporter.PostStatus(kUpdateFailed);
  }
}

}  // namespace kestrune
