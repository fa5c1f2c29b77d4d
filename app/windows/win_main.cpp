// Process entry of the Windows program: brings up COM, the common controls
// and GDI+, runs the main dialog on this thread and takes them down again.

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include "app/frontend/exit_leaving_statics.h"
#include "app/windows/common_controls_win.h"
#include "app/windows/framework/app_module.h"
#include "app/windows/run_main_dialog.h"
#include "history/history_writer.h"
#include "update/system_library_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR commandLine,
                    int showCommand) {
  // Before anything loads a DLL: System32 is the only folder searched.
  kestrune::RestrictDllSearchToSystem32();
  CoInitialize(nullptr);

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;
  if (const kestrune::CommonControlsFunctions* common = kestrune::SystemCommonControls()) {
    common->InitCommonControlsEx(&controls);
  }

  kestrune::appModule.Init(instance);

  Gdiplus::GdiplusStartupInput gdiplusInput;
  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

  bool workersLeft = false;
  int exitCode = kestrune::RunMainDialog(commandLine, showCommand, workersLeft);
  // A worker that outlived the dialog (an update check still waiting for the
  // service, say) writes through the run log and downloads through WinINet,
  // both statics: it must not meet them destroyed by the program's end.
  // The history rows of runs that have ended are written first, within a
  // bound: the rest of the end never waits for a locked file for long.
  kestrune::UserHistoryWriter().Flush(std::chrono::seconds(3));
  if (workersLeft) kestrune::ExitLeavingStatics(exitCode);

  Gdiplus::GdiplusShutdown(gdiplusToken);
  kestrune::appModule.Term();
  CoUninitialize();
  return exitCode;
}
