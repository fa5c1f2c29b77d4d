#include "app/windows/taskbar_progress_win.h"

#include <algorithm>

namespace kestrune {

WindowsTaskbarProgress::~WindowsTaskbarProgress() {
  if (taskbar_) taskbar_->Release();
}

UINT WindowsTaskbarProgress::ButtonCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

ITaskbarList3* WindowsTaskbarProgress::Taskbar() {
  if (taskbar_ || refused_) return taskbar_;
  ITaskbarList3* taskbar = nullptr;
  lastResult_ = CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar));
  if (SUCCEEDED(lastResult_)) lastResult_ = taskbar->HrInit();
  if (FAILED(lastResult_)) {
    if (taskbar) taskbar->Release();
    refused_ = true;
    return nullptr;
  }
  taskbar_ = taskbar;
  return taskbar_;
}

// Shows the state and value kept here: the shell's bar keeps its value
// across state changes, except in the no-progress state.
void WindowsTaskbarProgress::Show() {
  ITaskbarList3* taskbar = Taskbar();
  if (!taskbar) return;
  if (state_ != TBPF_NOPROGRESS && maximum_ > 0) {
    lastResult_ = taskbar->SetProgressValue(window_, position_, maximum_);
    if (FAILED(lastResult_)) return;
  }
  lastResult_ = taskbar->SetProgressState(window_, state_);
}

void WindowsTaskbarProgress::SetRange(std::uint32_t maximum) {
  maximum_ = maximum;
  position_ = 0;
  state_ = TBPF_NORMAL;
  Show();
}

void WindowsTaskbarProgress::SetPosition(std::uint32_t position) {
  position_ = std::min(position, maximum_);
  if (state_ == TBPF_NOPROGRESS) state_ = TBPF_NORMAL;
  Show();
}

void WindowsTaskbarProgress::Error() {
  // A run that failed before it counted a block shows a whole red bar.
  if (maximum_ == 0) maximum_ = position_ = 1;
  state_ = TBPF_ERROR;
  Show();
}

void WindowsTaskbarProgress::Clear() {
  state_ = TBPF_NOPROGRESS;
  maximum_ = 0;
  position_ = 0;
  Show();
}

void WindowsTaskbarProgress::Flash() {
  FLASHWINFO flash{};
  flash.cbSize = sizeof(flash);
  flash.hwnd = window_;
  flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
  FlashWindowEx(&flash);
}

void WindowsTaskbarProgress::ButtonCreated() {
  if (taskbar_) taskbar_->Release();
  taskbar_ = nullptr;
  refused_ = false;
  if (state_ != TBPF_NOPROGRESS) Show();
}

}  // namespace kestrune
