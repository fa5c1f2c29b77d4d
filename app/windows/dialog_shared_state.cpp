#include "app/windows/dialog_shared_state.h"

#include <memory>
#include <utility>

namespace kestrune {

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

SharedManifestText DialogSharedState::ManifestText() const {
  std::lock_guard<std::mutex> guard(lock_);
  return manifestText_;
}

void DialogSharedState::SetManifestText(const std::string& text) {
  SharedManifestText held = std::make_shared<const std::string>(text);
  std::lock_guard<std::mutex> guard(lock_);
  manifestText_ = std::move(held);
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

}  // namespace kestrune
