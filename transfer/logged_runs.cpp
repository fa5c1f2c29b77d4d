#include "transfer/logged_runs.h"

#include "transfer/logged_firmware_update_reporter.h"
#include "update/logged_update_check_reporter.h"
#include "update/run_log.h"
#include "update/text_conversion.h"

namespace kestrune {

UpdateCheckOutcome RunLoggedUpdateCheck(UpdateCheckReporter& frontEnd,
                                        const UpdateEnvironment& environment) {
  LoggedUpdateCheckReporter reporter(frontEnd, UserRunLog(), environment.programName);
  try {
    return RunUpdateCheckProcedure(reporter, environment.downloader, environment.downloadLimits,
                                   environment.dataFolder);
  } catch (...) {
    reporter.PostStatus(UpdateCheckStatus(UpdateCheckOutcome::kNoUpdateData));
    return UpdateCheckOutcome::kNoUpdateData;
  }
}

RunOutcome RunLoggedFirmwareUpdate(FirmwareUpdateReporter& frontEnd,
                                   const UpdateEnvironment& environment) {
  LoggedFirmwareUpdateReporter reporter(frontEnd, UserRunLog(), environment.programName);
  try {
    if (environment.source == UpdateDataSource::kSavedFiles)
      reporter.Note("offline: the images are the files saved by earlier downloads" +
                    (environment.dataFolder.empty()
                         ? std::string()
                         : " in " + WideToUtf8Text(environment.dataFolder)));
    if (environment.verifyWrittenBlocks)
      reporter.Note("every written block is read back before the finish frame");
    return RunFirmwareUpdateProcedure(reporter, environment);
  } catch (...) {
    reporter.PostStatus(RunOutcomeStatus(RunOutcome::kFailure));
    return RunOutcome::kFailure;
  }
}

}  // namespace kestrune
