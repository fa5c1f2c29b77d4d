#include "transfer/logged_runs.h"

#include "transfer/logged_firmware_update_reporter.h"
#include "transfer/update_environment.h"
#include "update/logged_update_check_reporter.h"
#include "update/run_log.h"

namespace kestrune {

UpdateCheckOutcome RunLoggedUpdateCheck(UpdateCheckReporter& frontEnd, const char* programName,
                                        UpdateDataSource source) {
  LoggedUpdateCheckReporter reporter(frontEnd, UserRunLog(), programName);
  try {
    const UpdateEnvironment environment = PlatformUpdateEnvironment(source);
    return RunUpdateCheckProcedure(reporter, environment.downloader, environment.downloadLimits);
  } catch (...) {
    reporter.PostStatus(UpdateCheckStatus(UpdateCheckOutcome::kNoUpdateData));
    return UpdateCheckOutcome::kNoUpdateData;
  }
}

RunOutcome RunLoggedFirmwareUpdate(FirmwareUpdateReporter& frontEnd,
                                   std::function<SharedManifestText()> manifestText,
                                   CloseGate* closeGate, const char* programName,
                                   const FirmwareRunChoices& choices) {
  LoggedFirmwareUpdateReporter reporter(frontEnd, UserRunLog(), programName);
  try {
    const UpdateEnvironment environment = PlatformUpdateEnvironment(choices.source);
    FirmwareUpdateEnvironment run =
        environment.ForFirmwareUpdate(std::move(manifestText), closeGate);
    run.portPath = choices.portPath;
    run.verifyWrittenBlocks = choices.verifyWrittenBlocks;
    if (choices.source == UpdateDataSource::kSavedFiles)
      reporter.Note("offline: the images are the files saved by earlier downloads");
    if (choices.verifyWrittenBlocks)
      reporter.Note("every written block is read back before the finish frame");
    return RunFirmwareUpdateProcedure(reporter, run);
  } catch (...) {
    reporter.PostStatus(RunOutcomeStatus(RunOutcome::kFailure));
    return RunOutcome::kFailure;
  }
}

}  // namespace kestrune
