#pragma once
// The program's only window: offered firmware version, release notes,
// status line, progress bar and the "Update Firmware" button. It owns the
// two worker threads; what they share with it lives in DialogSharedState.

#include <windows.h>

#include <boost/thread/thread.hpp>
#include <memory>

#include "app/windows/dialog_shared_state.h"
#include "app/windows/dialog_taskbar_win.h"
#include "app/windows/framework/dialog_window.h"
#include "app/windows/framework/message_hooks.h"
#include "app/windows/framework/update_ui.h"
#include "app/frontend/main_window_logic.h"
#include "res/resource.h"

namespace kestrune {

class CMainDlg : public CDialogImpl<CMainDlg>,
                 public CUpdateUI<CMainDlg>,
                 public CMessageFilter,
                 public CIdleHandler {
 public:
  enum { IDD = IDD_MAIN_DIALOG };

  CMainDlg();
  ~CMainDlg() override;

  BOOL PreTranslateMessage(MSG* msg) override;
  // Whether a worker thread still runs; it may outlive the dialog.
  bool WorkersRunning() const { return shared_->RunningWorkers() > 0; }
  BOOL OnIdle() override;

  // Worker bodies. They get the shared state, never the dialog, so that a
  // worker that outlives the dialog touches nothing that is gone.
  static void RunUpdateCheck(std::shared_ptr<DialogSharedState> shared);
  static void RunFirmwareUpdate(std::shared_ptr<DialogSharedState> shared);

 protected:
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override;

 private:
  LRESULT OnInitDialog();
  LRESULT OnDestroy();
  LRESULT OnCancel();
  LRESULT OnUpdateFirmware();
  LRESULT OnUpdateStatus();
  LRESULT OnUpdateProgress();
  LRESULT OnUpdateFinished(RunOutcome outcome);
  LRESULT OnWritingChanged(bool writing);
  LRESULT OnPowerQuestion();
  BOOL OnQueryEndSession(LRESULT& result);

  void SetIcons();
  void CloseNow();
  void SetUpdateButtonEnabled(bool enabled);

  boost::thread CheckThread;
  boost::thread UpdateThread;
  // Holds StatusText and ManifestText; see its header for the protocol.
  std::shared_ptr<DialogSharedState> shared_;
  // One run at a time, the close put off while the watch is written, and
  // the status line; UI thread only.
  MainWindowLogic logic_;
  // A shutdown block reason is registered for the window.
  bool shutdownBlocked_ = false;
  // The runs on the taskbar button too; while the window exists.
  std::unique_ptr<DialogTaskbar> taskbar_;
};

}  // namespace kestrune
