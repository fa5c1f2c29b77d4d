#include "app/frontend/worker_shared_state.h"

#include <memory>
#include <utility>

namespace kestrune {

WorkerSharedState::WorkerSharedState(const std::string& programName)
    : environment_(PlatformUpdateEnvironment(programName)) {
  environment_.closeGate = &gate_;
  // The state outlives every run that reads it: each worker holds it.
  environment_.manifestText = [this] { return ManifestText(); };
}

SharedManifestText WorkerSharedState::ManifestText() const {
  std::lock_guard<std::mutex> guard(manifestLock_);
  return manifestText_;
}

void WorkerSharedState::SetManifestText(const std::string& text) {
  SharedManifestText held = std::make_shared<const std::string>(text);
  std::lock_guard<std::mutex> guard(manifestLock_);
  manifestText_ = std::move(held);
}

}  // namespace kestrune
