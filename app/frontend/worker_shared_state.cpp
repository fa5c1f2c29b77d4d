#include "app/frontend/worker_shared_state.h"

#include <memory>
#include <utility>

namespace kestrune {

WorkerSharedState::WorkerSharedState(const std::string& programName)
    : environment_(PlatformUpdateEnvironment(programName)) {
  environment_.closeGate = &gate_;
  // The state outlives every run that reads it: each worker holds it.
  environment_.manifestText = [this] { return ManifestText(); };
  environment_.goOnWithWeakBattery = [this](const PowerShortage& shortage) {
    const bool goOn = powerQuestion_.Ask(
        [&] {
          Post({WindowNotice::Kind::kPowerQuestion, PowerQuestionText(shortage), 0,
                PowerQuestionShown(shortage)});
        },
        gate_);
    // Nothing is written and the run ends without a word: the status line
    // no longer says the images are being fetched.
    if (!goOn && !gate_.CloseRequested()) Post({WindowNotice::Kind::kStatus, u""});
    return goOn;
  };
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
