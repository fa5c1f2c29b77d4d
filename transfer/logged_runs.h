#pragma once
// The two runs every front-end makes (the dialog, the Linux window, the
// command): the update check and one firmware update, each in the
// surroundings the front-end filled once, written to the run log under its
// program name, and never throwing (an exception must not end the process
// from a worker thread: it ends the run with its status).

#include "transfer/firmware_update.h"
#include "transfer/update_environment.h"
#include "update/update_check.h"

namespace kestrune {

// Shown by a window when the system cannot start a worker thread for a run.
inline constexpr char16_t kCannotStartWorker[] = u"無法啟動工作執行緒";

UpdateCheckOutcome RunLoggedUpdateCheck(UpdateCheckReporter& frontEnd,
                                        const UpdateEnvironment& environment);

RunOutcome RunLoggedFirmwareUpdate(FirmwareUpdateReporter& frontEnd,
                                   const UpdateEnvironment& environment);

}  // namespace kestrune
