#pragma once
// The taskbar button of a window on Windows: progress through the shell's
// ITaskbarList3, flashing through FlashWindowEx.
//
// The shell's taskbar object is obtained at the first call, not before:
// the button may not exist yet, and a shell without a taskbar (or one
// that refuses) only costs the progress display, never the dialog. After
// the shell says it has made the button (TaskbarButtonCreated), the next
// call obtains the object anew and what the button showed is shown again.

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

#include "app/frontend/taskbar_progress.h"

namespace kestrune {

class WindowsTaskbarProgress : public TaskbarProgress {
 public:
  // `window` is a top-level window of the calling (COM-initialised) thread.
  explicit WindowsTaskbarProgress(HWND window) : window_(window) {}
  ~WindowsTaskbarProgress() override;
  WindowsTaskbarProgress(const WindowsTaskbarProgress&) = delete;
  WindowsTaskbarProgress& operator=(const WindowsTaskbarProgress&) = delete;

  // The message the shell sends a window once its taskbar button exists.
  static UINT ButtonCreatedMessage();

  void SetRange(std::uint32_t maximum) override;
  void SetPosition(std::uint32_t position) override;
  void Error() override;
  void Clear() override;
  void Flash() override;
  void ButtonCreated() override;

  // Whether the shell's taskbar object has been obtained, and what the
  // last call to it returned (S_OK before any).
  bool Obtained() const { return taskbar_ != nullptr; }
  HRESULT LastResult() const { return lastResult_; }

 private:
  ITaskbarList3* Taskbar();
  void Show();

  HWND window_;
  ITaskbarList3* taskbar_ = nullptr;
  bool refused_ = false;  // the shell gave none; asked again after ButtonCreated
  HRESULT lastResult_ = S_OK;
  TBPFLAG state_ = TBPF_NOPROGRESS;
  std::uint32_t maximum_ = 0;
  std::uint32_t position_ = 0;
};

}  // namespace kestrune
