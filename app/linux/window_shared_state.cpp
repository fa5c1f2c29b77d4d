#include "app/linux/window_shared_state.h"

#include <utility>

namespace kestrune {

using Kind = WindowNotice::Kind;

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

void WindowSharedState::ShowStatus(const std::u16string& text) { Post({Kind::kStatus, text}); }

void WindowSharedState::ShowFirmwareVersion(const std::u16string& version) {
  Post({Kind::kFirmwareVersion, version});
}

void WindowSharedState::ShowReleaseNotes(const std::u16string& notes) {
  Post({Kind::kReleaseNotes, notes});
}

void WindowSharedState::ShowProgressRange(std::uint32_t maximum) {
  Post({Kind::kProgressRange, {}, maximum});
}

void WindowSharedState::ShowProgressPosition(std::uint32_t position) {
  Post({Kind::kProgressPosition, {}, position});
}

void WindowSharedState::ShowWriting(bool writing) { Post({Kind::kWriting, {}, writing ? 1u : 0u}); }

void WindowSharedState::ShowRunEnded() { Post({Kind::kRunFinished}); }

}  // namespace kestrune
