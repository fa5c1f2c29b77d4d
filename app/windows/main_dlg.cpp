#include "app/windows/main_dlg.h"

#include <commctrl.h>

#include <boost/bind/bind.hpp>

#include "app/windows/framework/app_module.h"
#include "app/windows/framework/center_window.h"
#include "app/windows/framework/message_loop.h"
#include "app/windows/taskbar_progress_win.h"
#include "app/frontend/window_workers.h"
#include "app/windows/worker_start.h"
#include "transfer/logged_runs.h"

namespace kestrune {

namespace {

// Shown by the system when the user tries to end the session meanwhile.
const char16_t kShutdownBlockReason[] = u"正在寫入更新檔，請勿關閉電腦";

constexpr int kCancelExitCode = IDCANCEL;

// Starts `body` into `slot` as StartWorker does, counted in the shared
// state from before its thread starts until its body has ended.
template <class Body>
bool StartDialogWorker(boost::thread& slot, const std::shared_ptr<DialogSharedState>& shared,
                       WorkerKind kind, Body body) {
  return StartCountedWorker(shared, kind, body, [&slot](const std::function<void()>& run) {
    return StartWorker(slot, run);
  });
}

}  // namespace

CMainDlg::CMainDlg() : shared_(std::make_shared<DialogSharedState>()), logic_(shared_->Gate()) {}

CMainDlg::~CMainDlg() {
  // Never join: a worker may be waiting for this thread in SendMessage.
  if (UpdateThread.joinable()) UpdateThread.detach();
  if (CheckThread.joinable()) CheckThread.detach();
}

BOOL CMainDlg::ProcessWindowMessage(HWND /*window*/, UINT message, WPARAM wParam, LPARAM /*lParam*/,
                                    LRESULT& result) {
  if (taskbar_ && taskbar_->HandleMessage(message)) {
    result = 0;
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG: result = OnInitDialog(); return TRUE;
    case WM_DESTROY: result = OnDestroy(); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        result = OnCancel();
        return TRUE;
      }
      if (LOWORD(wParam) == IDC_UPDATE_FIRMWARE) {
        result = OnUpdateFirmware();
        return TRUE;
      }
      return FALSE;
    case WM_UPDATE_STATUS: result = OnUpdateStatus(); return TRUE;
    case WM_UPDATE_PROGRESS: result = OnUpdateProgress(); return TRUE;
    case WM_UPDATE_FINISHED:
      result = OnUpdateFinished(static_cast<RunOutcome>(wParam));
      return TRUE;
    case WM_WRITING_CHANGED: result = OnWritingChanged(wParam != 0); return TRUE;
    case WM_POWER_QUESTION: result = OnPowerQuestion(); return TRUE;
    case WM_QUERYENDSESSION: return OnQueryEndSession(result);
    default: return FALSE;
  }
}

BOOL CMainDlg::PreTranslateMessage(MSG* msg) {
  HWND window = Window();
  return window ? IsDialogMessageW(window, msg) : FALSE;
}

BOOL CMainDlg::OnIdle() { return FALSE; }

LRESULT CMainDlg::OnInitDialog() {
  CenterWindow(Window());
  SetIcons();

  CMessageLoop* loop = appModule.GetMessageLoop();
  if (loop) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
  }
  UIAddChildWindowContainer(Window());

  shared_->AttachWindow(Window());
  taskbar_ = std::make_unique<DialogTaskbar>(Window(), GetDlgItem(Window(), IDC_PROGRESS),
                                             std::make_unique<WindowsTaskbarProgress>(Window()));
  if (!StartDialogWorker(CheckThread, shared_, WorkerKind::kUpdateCheck,
                         boost::bind(&CMainDlg::RunUpdateCheck, shared_))) {
    shared_->PostStatus(kCannotStartWorker);
  }
  // The dialog manager puts the focus on the first tab stop, the notes.
  return TRUE;
}

void CMainDlg::SetIcons() {
  HINSTANCE instance = appModule.GetResourceInstance();
  HANDLE big =
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                 GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR);
  SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  HANDLE small =
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
  SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

LRESULT CMainDlg::OnDestroy() {
  CheckThread.interrupt();
  UpdateThread.interrupt();
  CMessageLoop* loop = appModule.GetMessageLoop();
  if (loop) {
    loop->RemoveMessageFilter(this);
    loop->RemoveIdleHandler(this);
  }
  // From here on the workers' posts and control calls go nowhere.
  shared_->DetachWindow();
  taskbar_.reset();
  return 0;
}

LRESULT CMainDlg::OnCancel() {
  if (logic_.RequestClose() == MainWindowLogic::CloseAction::kDeferred) {
    OnUpdateStatus();
    return 0;
  }
  CloseNow();
  return 0;
}

BOOL CMainDlg::OnQueryEndSession(LRESULT& result) {
  if (!shared_->Gate().Writing()) return FALSE;  // the session ends as usual
  result = FALSE;
  return TRUE;
}

LRESULT CMainDlg::OnWritingChanged(bool writing) {
  if (writing && !shutdownBlocked_) {
    shutdownBlocked_ =
        ShutdownBlockReasonCreate(Window(),
                                  reinterpret_cast<const wchar_t*>(kShutdownBlockReason)) != FALSE;
  } else if (!writing && shutdownBlocked_) {
    ShutdownBlockReasonDestroy(Window());
    shutdownBlocked_ = false;
  }
  return 0;
}

// The dialog's one message box: the worker waits for the answer before it
// writes anything. The box disables the dialog meanwhile, so no close can
// come while it is open; OK goes on, Cancel (the default) writes nothing.
LRESULT CMainDlg::OnPowerQuestion() {
  const std::u16string text = shared_->PowerQuestionText();
  const int answer = MessageBoxW(Window(), reinterpret_cast<const wchar_t*>(text.c_str()),
                                 reinterpret_cast<const wchar_t*>(kPowerQuestionTitle),
                                 MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
  shared_->AnswerPowerQuestion(answer == IDOK);
  return 0;
}

void CMainDlg::CloseNow() {
  DestroyWindow(Window());
  PostQuitMessage(kCancelExitCode);
}

LRESULT CMainDlg::OnUpdateFirmware() {
  if (!logic_.PressUpdate()) return 0;
  SetUpdateButtonEnabled(false);
  if (taskbar_) taskbar_->RunStarted();
  if (!StartDialogWorker(UpdateThread, shared_, WorkerKind::kFirmwareUpdate,
                         boost::bind(&CMainDlg::RunFirmwareUpdate, shared_))) {
    logic_.RunNotStarted();
    SetUpdateButtonEnabled(true);
    shared_->PostStatus(kCannotStartWorker);
  }
  return 0;
}

LRESULT CMainDlg::OnUpdateStatus() {
  logic_.ShowStatus(shared_->StatusText());
  const std::u16string text = logic_.StatusLine();
  SetDlgItemTextW(Window(), IDC_STATUS, reinterpret_cast<const wchar_t*>(text.c_str()));
  return 0;
}

// The latest range and position the worker stored; the taskbar button
// mirrors the bar (it is subclassed).
LRESULT CMainDlg::OnUpdateProgress() {
  const DialogProgress progress = shared_->TakeProgress();
  HWND bar = GetDlgItem(Window(), IDC_PROGRESS);
  if (!bar) return 0;
  if (progress.rangeChanged) {
    // The 32-bit range message: a long image must not wrap at 65535 blocks.
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(progress.maximum));
    SendMessageW(bar, PBM_SETSTEP, 1, 0);
  }
  if (progress.positionChanged) SendMessageW(bar, PBM_SETPOS, progress.position, 0);
  return 0;
}

LRESULT CMainDlg::OnUpdateFinished(RunOutcome outcome) {
  OnWritingChanged(false);
  if (logic_.RunEnded()) {  // a close waited for the run
    CloseNow();
    return 0;
  }
  if (taskbar_) taskbar_->RunEnded(outcome);
  SetUpdateButtonEnabled(true);
  // The press that started the run took the focus from the button.
  SendMessageW(Window(), WM_NEXTDLGCTL,
               reinterpret_cast<WPARAM>(GetDlgItem(Window(), IDC_UPDATE_FIRMWARE)), TRUE);
  return 0;
}

void CMainDlg::SetUpdateButtonEnabled(bool enabled) {
  HWND button = GetDlgItem(Window(), IDC_UPDATE_FIRMWARE);
  if (!enabled && GetFocus() == button) {
    // A disabled control cannot keep the focus; hand it to the notes.
    SendMessageW(Window(), WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(GetDlgItem(Window(), IDC_RELEASE_NOTES)), TRUE);
  }
  EnableWindow(button, enabled ? TRUE : FALSE);
}

void CMainDlg::RunUpdateCheck(std::shared_ptr<DialogSharedState> shared) {
  RunWindowUpdateCheck(shared);
}

void CMainDlg::RunFirmwareUpdate(std::shared_ptr<DialogSharedState> shared) {
  RunWindowFirmwareUpdate(shared);
}

}  // namespace kestrune
