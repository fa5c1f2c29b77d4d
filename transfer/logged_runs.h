#pragma once
// The two runs every front-end makes (the dialog, the Linux window, the
// command): the update check and one firmware update, each in the program's
// real surroundings, written to the run log under the front-end's program
// name, and never throwing (an exception must not end the process from a
// worker thread: it ends the run with its status).

#include <functional>
#include <string>

#include "transfer/firmware_update.h"
#include "transfer/update_environment.h"
#include "update/update_check.h"

namespace kestrune {

class CloseGate;

// Shown by a window when the system cannot start a worker thread for a run.
inline constexpr char16_t kCannotStartWorker[] = u"無法啟動工作執行緒";

UpdateCheckOutcome RunLoggedUpdateCheck(UpdateCheckReporter& frontEnd, const char* programName,
                                        UpdateDataSource source = UpdateDataSource::kService);

// What a front-end may ask of a firmware update beyond the program's own
// way (the windows ask nothing of it).
struct FirmwareRunChoices {
  // When not empty, discovery is skipped and this port is opened.
  std::u16string portPath;
  // Offline: the images are the data<sequence>.bin files saved earlier.
  UpdateDataSource source = UpdateDataSource::kService;
  // Every written block is read back before the finish frame.
  bool verifyWrittenBlocks = false;
};

RunOutcome RunLoggedFirmwareUpdate(FirmwareUpdateReporter& frontEnd,
                                   std::function<SharedManifestText()> manifestText,
                                   CloseGate* closeGate, const char* programName,
                                   const FirmwareRunChoices& choices = {});

}  // namespace kestrune
