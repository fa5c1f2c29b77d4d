#include "app/linux/window_workers.h"

#include <system_error>
#include <thread>

#include "app/frontend/window_workers.h"

namespace kestrune {
namespace {

bool StartDetachedThread(const std::function<void()>& run) {
  try {
    std::thread(run).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool StartWorker(WorkerKind kind, const WorkerBody& body,
                 std::shared_ptr<WindowSharedState> shared) {
  return StartCountedWorker(
      shared, kind, [body, shared] { body(shared); }, StartDetachedThread);
}

}  // namespace

WindowWorkers ProgramWorkers() {
  return {[](std::shared_ptr<WindowSharedState> shared) { RunWindowUpdateCheck(shared); },
          [](std::shared_ptr<WindowSharedState> shared) { RunWindowFirmwareUpdate(shared); }};
}

bool StartUpdateCheckWorker(const WorkerBody& body, std::shared_ptr<WindowSharedState> shared) {
  return StartWorker(WorkerKind::kUpdateCheck, body, std::move(shared));
}

bool StartFirmwareUpdateWorker(const WorkerBody& body, std::shared_ptr<WindowSharedState> shared) {
  return StartWorker(WorkerKind::kFirmwareUpdate, body, std::move(shared));
}

}  // namespace kestrune
