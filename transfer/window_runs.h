#pragma once
// The two worker bodies a window runs: the update check and one firmware
// update, each in the program's real surroundings, written to the run log
// under the window's program name, and never throwing (an exception must not
// end the process from a worker thread: it ends the run with its status).

#include <functional>
#include <string>

#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {

class CloseGate;

// Shown by a window when the system cannot start a worker thread for a run.
inline constexpr char16_t kCannotStartWorker[] = u"無法啟動工作執行緒";

void RunWindowUpdateCheck(UpdateCheckReporter& window, const char* programName);

void RunWindowFirmwareUpdate(FirmwareUpdateReporter& window,
                             std::function<SharedManifestText()> manifestText, CloseGate* closeGate,
                             const char* programName);

}  // namespace kestrune
