#pragma once
// The two runs every front-end makes (the dialog, the Linux window, the
// command): the update check and one firmware update, each in the program's
// real surroundings, written to the run log under the front-end's program
// name, and never throwing (an exception must not end the process from a
// worker thread: it ends the run with its status).

#include <functional>
#include <string>

#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {

class CloseGate;

// Shown by a window when the system cannot start a worker thread for a run.
inline constexpr char16_t kCannotStartWorker[] = u"無法啟動工作執行緒";

UpdateCheckOutcome RunLoggedUpdateCheck(UpdateCheckReporter& frontEnd, const char* programName);

// With a `portPath`, discovery is skipped and that port is opened.
RunOutcome RunLoggedFirmwareUpdate(FirmwareUpdateReporter& frontEnd,
                                   std::function<SharedManifestText()> manifestText,
                                   CloseGate* closeGate, const char* programName,
                                   const std::u16string& portPath = {});

}  // namespace kestrune
