#include "app/run_main_dialog.h"

#include "app/framework/app_module.h"
#include "app/framework/message_loop.h"
#include "app/main_dlg.h"

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
