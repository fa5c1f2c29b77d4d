#pragma once
// The UI thread's run: registers its message loop, creates and shows the
// main dialog, and runs the loop until the dialog asks to quit.

#include <windows.h>

namespace kestrune {

// The exit code: the quit message's code, or 0 when the dialog cannot be
// created. `workersLeft` tells whether a worker thread of the dialog still
// runs after it has gone. The command line is ignored.
int RunMainDialog(LPWSTR commandLine, int showCommand, bool& workersLeft);

}  // namespace kestrune
