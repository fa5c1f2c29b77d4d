#include "app/linux/window_shared_state.h"

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

void WindowSharedState::Post(WindowNotice notice) {
  // Held across the call: DetachWindow() waits for a sink call under way.
  std::lock_guard<std::mutex> guard(lock_);
  if (sink_) sink_(std::move(notice));
}

}  // namespace kestrune
