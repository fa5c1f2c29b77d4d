// kestrune-desktop-keeper: holds the default desktop of a Wine prefix in
// use until the prefix's server ends it.
//
// Wine closes a desktop shortly after the last program that used it has
// ended, and the next program with a window then starts the desktop's
// process anew, which inherits that program's standard handles and keeps
// them open for ever: a test runner waiting for the test's output to end
// would wait for ever too. Started once, with its handles on /dev/null,
// this keeper makes the desktop process start from it and stay.
#include <windows.h>

int main() {
  // Asking for the desktop window connects the process to the desktop and
  // starts the desktop's process when none runs.
  if (GetDesktopWindow() == nullptr) return 1;
  Sleep(INFINITE);
  return 0;
}
