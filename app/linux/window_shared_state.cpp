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
  if (notice.kind == WindowNotice::Kind::kProgressPosition) {
    progressPosition_ = notice.value;
    if (positionPosted_.exchange(true)) return;  // the one on its way takes this value
  }
  // Held across the call: DetachWindow() waits for a sink call under way.
  std::lock_guard<std::mutex> guard(lock_);
  if (sink_) sink_(std::move(notice));
}

// The flag goes first: a position stored after it posts a notice of its own.
std::uint32_t WindowSharedState::TakeProgressPosition() {
  positionPosted_ = false;
  return progressPosition_;
}

}  // namespace kestrune
