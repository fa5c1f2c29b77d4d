#include "app/linux/window_shared_state.h"

#include <memory>
#include <utility>

namespace kestrune {

void WindowSharedState::AttachWindow(Sink sink) {
  std::lock_guard<std::mutex> guard(lock_);
  sink_ = std::move(sink);
}

void WindowSharedState::DetachWindow() {
  std::lock_guard<std::mutex> guard(lock_);
  sink_ = nullptr;
}

void WindowSharedState::Post(WindowNotice notice) const {
  // Held across the call: DetachWindow() waits for a sink call under way.
  std::lock_guard<std::mutex> guard(lock_);
  if (sink_) sink_(std::move(notice));
}

SharedManifestText WindowSharedState::ManifestText() const {
  std::lock_guard<std::mutex> guard(lock_);
  return manifestText_;
}

void WindowSharedState::SetManifestText(const std::string& text) {
  SharedManifestText held = std::make_shared<const std::string>(text);
  std::lock_guard<std::mutex> guard(lock_);
  manifestText_ = std::move(held);
}

}  // namespace kestrune
