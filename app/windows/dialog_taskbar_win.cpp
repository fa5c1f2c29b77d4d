#include "app/windows/dialog_taskbar_win.h"

#include <commctrl.h>

#include "app/windows/common_controls_win.h"
#include "app/windows/taskbar_progress_win.h"

namespace kestrune {

namespace {
constexpr UINT_PTR kMirrorId = 1;
}  // namespace

DialogTaskbar::DialogTaskbar(HWND dialog, HWND progressBar,
                             std::unique_ptr<TaskbarProgress> taskbar)
    : dialog_(dialog),
      progressBar_(progressBar),
      taskbar_(std::move(taskbar)),
      indicator_(*taskbar_) {
  const CommonControlsFunctions* controls = SystemCommonControls();
  if (progressBar_ && controls != nullptr) {
    controls->SetWindowSubclass(progressBar_, &ProgressBarProc, kMirrorId,
                                reinterpret_cast<DWORD_PTR>(this));
  } else {
    progressBar_ = nullptr;  // not mirrored, nothing to remove
  }
}

DialogTaskbar::~DialogTaskbar() {
  if (progressBar_) {
    SystemCommonControls()->RemoveWindowSubclass(progressBar_, &ProgressBarProc, kMirrorId);
  }
}

LRESULT CALLBACK DialogTaskbar::ProgressBarProc(HWND bar, UINT message, WPARAM wParam,
                                                LPARAM lParam, UINT_PTR /*id*/, DWORD_PTR self) {
  // Only set up once the functions were loaded.
  const LRESULT result = SystemCommonControls()->DefSubclassProc(bar, message, wParam, lParam);
  auto* taskbar = reinterpret_cast<DialogTaskbar*>(self);
  switch (message) {
    case PBM_SETRANGE32: taskbar->indicator_.RangeSet(static_cast<std::uint32_t>(lParam)); break;
    case PBM_SETPOS: taskbar->indicator_.PositionSet(static_cast<std::uint32_t>(wParam)); break;
    default: break;
  }
  return result;
}

bool DialogTaskbar::HandleMessage(UINT message) {
  if (message != WindowsTaskbarProgress::ButtonCreatedMessage()) return false;
  taskbar_->ButtonCreated();
  return true;
}

void DialogTaskbar::RunStarted() { indicator_.RunStarted(); }

void DialogTaskbar::RunEnded(RunOutcome outcome) {
  indicator_.RunEnded(outcome, GetForegroundWindow() == dialog_);
}

}  // namespace kestrune
