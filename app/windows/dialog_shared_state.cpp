#include "app/windows/dialog_shared_state.h"

#include "res/resource.h"

namespace kestrune {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is handed to the W functions");

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Sets a control's text; waits for the UI thread. Does nothing once the
// window is gone.
void SetControlText(const DialogSharedState& shared, int controlId, const std::u16string& text) {
  HWND window = shared.Window();
  if (!window) return;
  HWND control = GetDlgItem(window, controlId);
  if (control) SetWindowTextW(control, Wide(text));
}

}  // namespace

void DialogSharedState::AttachWindow(HWND window) {
  std::lock_guard<std::mutex> guard(lock_);
  window_ = window;
}

void DialogSharedState::DetachWindow() {
  std::lock_guard<std::mutex> guard(lock_);
  window_ = nullptr;
}

HWND DialogSharedState::Window() const {
  std::lock_guard<std::mutex> guard(lock_);
  return window_;
}

std::u16string DialogSharedState::StatusText() const {
  std::lock_guard<std::mutex> guard(lock_);
  return statusText_;
}

std::u16string DialogSharedState::PowerQuestionText() const {
  std::lock_guard<std::mutex> guard(lock_);
  return powerQuestionText_;
}

void DialogSharedState::PostStatus(const std::u16string& text) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    statusText_ = text;
  }
  Post(WM_UPDATE_STATUS);
}

void DialogSharedState::Post(UINT message, WPARAM wParam) const {
  HWND window = Window();
  if (window) PostMessageW(window, message, wParam, 0);
}

// The flag goes first: a change stored after it posts a message of its own.
DialogProgress DialogSharedState::TakeProgress() {
  progressPosted_ = false;
  DialogProgress progress;
  progress.rangeChanged = progressRangeChanged_.exchange(false);
  progress.maximum = progressMaximum_;
  progress.positionChanged = progressPositionChanged_.exchange(false);
  progress.position = progressPosition_;
  return progress;
}

void DialogSharedState::Post(WindowNotice notice) {
  using Kind = WindowNotice::Kind;
  switch (notice.kind) {
    case Kind::kStatus: PostStatus(notice.text); break;
    case Kind::kFirmwareVersion: SetControlText(*this, IDC_VERSION, notice.text); break;
    case Kind::kReleaseNotes: SetControlText(*this, IDC_RELEASE_NOTES, notice.text); break;
    case Kind::kProgressRange:
      progressMaximum_ = notice.value;
      progressRangeChanged_ = true;
      if (!progressPosted_.exchange(true)) Post(WM_UPDATE_PROGRESS);
      break;
    case Kind::kProgressPosition:
      progressPosition_ = notice.value;
      progressPositionChanged_ = true;
      if (!progressPosted_.exchange(true)) Post(WM_UPDATE_PROGRESS);
      break;
    case Kind::kWriting: Post(WM_WRITING_CHANGED, notice.value != 0 ? 1 : 0); break;
    case Kind::kRunFinished: Post(WM_UPDATE_FINISHED, notice.value); break;
    case Kind::kPowerQuestion: {
      std::lock_guard<std::mutex> guard(lock_);
      powerQuestionText_ = notice.text;
    }
      Post(WM_POWER_QUESTION);
      break;
    case Kind::kCause: break;  // the dialog shows its status texts alone
  }
}

}  // namespace kestrune
