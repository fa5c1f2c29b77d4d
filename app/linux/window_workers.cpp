#include "app/linux/window_workers.h"

#include <system_error>
#include <thread>

#include "app/linux/notice_reporters.h"
#include "transfer/logged_runs.h"

namespace kestrune {
namespace {

const char kProgramName[] = "orvel-kestrune";

void RunUpdateCheck(std::shared_ptr<WindowSharedState> shared) {
  UpdateCheckNoticeReporter window(shared);
  RunLoggedUpdateCheck(window, kProgramName);
}

void RunFirmwareUpdate(std::shared_ptr<WindowSharedState> shared) {
  FirmwareUpdateNoticeReporter window(shared);
  RunLoggedFirmwareUpdate(
      window, [shared] { return shared->ManifestText(); }, &shared->Gate(), kProgramName);
}

// Counts the worker out and runs `atEnd` however the body ends.
class WorkerEnd {
 public:
  WorkerEnd(std::shared_ptr<WindowSharedState> shared, std::function<void()> atEnd)
      : shared_(std::move(shared)), atEnd_(std::move(atEnd)) {}
  ~WorkerEnd() {
    if (atEnd_) atEnd_();
    shared_->WorkerEnded();
  }

 private:
  std::shared_ptr<WindowSharedState> shared_;
  std::function<void()> atEnd_;
};

bool StartDetached(const WorkerBody& body, std::shared_ptr<WindowSharedState> shared,
                   std::function<void()> atEnd) {
  shared->WorkerStarted();
  try {
    std::thread([body, shared, atEnd] {
      WorkerEnd end(shared, atEnd);
      try {
        body(shared);
      } catch (...) {
        // An exception must not end the process from a worker thread.
      }
    }).detach();
    return true;
  } catch (const std::system_error&) {
    shared->WorkerEnded();
    return false;
  }
}

}  // namespace

WindowWorkers ProgramWorkers() { return {RunUpdateCheck, RunFirmwareUpdate}; }

bool StartUpdateCheckWorker(const WorkerBody& body, std::shared_ptr<WindowSharedState> shared) {
  return StartDetached(body, std::move(shared), nullptr);
}

bool StartFirmwareUpdateWorker(const WorkerBody& body, std::shared_ptr<WindowSharedState> shared) {
  WindowSharedState* state = shared.get();  // kept alive by the worker's own copy
  return StartDetached(body, std::move(shared), [state] {
    state->Gate().EndWriting();  // a run that ended by an exception has stopped writing too
    state->Post({WindowNotice::Kind::kRunFinished});
  });
}

}  // namespace kestrune
