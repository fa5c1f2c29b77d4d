#include "app/windows/run_main_dialog.h"

#include "app/windows/framework/app_module.h"
#include "app/windows/framework/message_loop.h"
#include "app/windows/main_dlg.h"

namespace kestrune {

int RunMainDialog(LPWSTR /*commandLine*/, int showCommand, bool& workersLeft) {
  workersLeft = false;
  CMessageLoop loop;
  appModule.AddMessageLoop(&loop);

  CMainDlg dialog;
  HWND window = dialog.Create(appModule.GetResourceInstance());
  if (!window) return 0;
  ShowWindow(window, showCommand);

  int exitCode = loop.Run();
  appModule.RemoveMessageLoop();
  workersLeft = dialog.WorkersRunning();
  return exitCode;
}

}  // namespace kestrune
