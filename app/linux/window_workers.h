#pragma once
// The Linux window's two workers: what they run and how they are started.
// Each runs on a detached thread of its own; it reaches the window only
// through the shared state.

#include <functional>
#include <memory>

#include "app/linux/window_shared_state.h"

namespace kestrune {

using WorkerBody = std::function<void(std::shared_ptr<WindowSharedState>)>;

struct WindowWorkers {
  WorkerBody updateCheck;
  WorkerBody firmwareUpdate;
};

// The program's own: the update check against the update service, and a
// firmware update of the watch found on this machine.
WindowWorkers ProgramWorkers();

// Starts `body` on a detached thread. False when the system cannot start a
// thread; the body then never runs.
bool StartUpdateCheckWorker(const WorkerBody& body, std::shared_ptr<WindowSharedState> shared);
// The same for a firmware update; however the body ends, the run then
// counts as no longer writing and kRunFinished is posted.
bool StartFirmwareUpdateWorker(const WorkerBody& body, std::shared_ptr<WindowSharedState> shared);

}  // namespace kestrune
