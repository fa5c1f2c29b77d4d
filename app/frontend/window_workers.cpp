#include "app/frontend/window_workers.h"

#include "app/frontend/worker_reporters.h"
#include "transfer/logged_runs.h"

namespace kestrune {

void RunWindowUpdateCheck(const std::shared_ptr<WorkerSharedState>& shared) {
  UpdateCheckWorkerReporter window(shared);
  window.CheckEnded(RunLoggedUpdateCheck(window, shared->RunEnvironment()));
}

void RunWindowFirmwareUpdate(const std::shared_ptr<WorkerSharedState>& shared) {
  FirmwareUpdateWorkerReporter window(shared);
  const RunOutcome outcome = RunLoggedFirmwareUpdate(window, shared->RunEnvironment());
  window.RunEnded(outcome);  // a failure's cause beneath its status
  shared->SetRunOutcome(outcome);
}

void RunCountedWorker(WorkerSharedState& shared, WorkerKind kind,
                      const std::function<void()>& body) {
  struct CountOut {
    WorkerSharedState& shared;
    WorkerKind kind;
    ~CountOut() {
      try {
        if (kind == WorkerKind::kFirmwareUpdate) {
          shared.Gate().EndWriting();  // a run that ended by an exception has stopped writing too
          shared.Post({WindowNotice::Kind::kRunFinished,
                       {},
                       static_cast<std::uint32_t>(shared.TakeRunOutcome())});
        }
      } catch (...) {
      }
      shared.WorkerEnded();
    }
  } countOut{shared, kind};
  try {
    body();
  } catch (...) {
    // Ends here: nothing may leave a worker thread as an exception.
  }
}

}  // namespace kestrune
