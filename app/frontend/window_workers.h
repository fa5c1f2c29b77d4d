#pragma once
// A main window's two workers: what they run, and how each is counted from
// before its thread starts until its body has ended, whatever starts the
// thread (boost::thread in the dialog, a detached std::thread on Linux).

#include <functional>
#include <memory>

#include "app/frontend/worker_shared_state.h"

namespace kestrune {

// The update check, in the window's run surroundings, reported to the window.
void RunWindowUpdateCheck(const std::shared_ptr<WorkerSharedState>& shared);
// One firmware update, likewise.
void RunWindowFirmwareUpdate(const std::shared_ptr<WorkerSharedState>& shared);

enum class WorkerKind { kUpdateCheck, kFirmwareUpdate };

// Runs `body` as a worker of `kind` on the calling thread, counted out when
// it has ended. An exception from it ends there (it must not end the
// process from a worker thread). A firmware update's worker, however it
// ended, then also counts as no longer writing and posts kRunFinished
// before it is counted out.
void RunCountedWorker(WorkerSharedState& shared, WorkerKind kind,
                      const std::function<void()>& body);

// Counts a worker in, then hands `startThread` a callable that runs `body`
// as RunCountedWorker does and keeps `shared` alive meanwhile.
// `startThread(callable)` runs it on a new thread and returns whether it
// could; when it could not, the worker is counted out again, nothing is
// shown, and the result is false.
template <class StartThread>
bool StartCountedWorker(const std::shared_ptr<WorkerSharedState>& shared, WorkerKind kind,
                        std::function<void()> body, StartThread startThread) {
  shared->WorkerStarted();
  const std::function<void()> counted = [shared, kind, body] {
    RunCountedWorker(*shared, kind, body);
  };
  if (startThread(counted)) return true;
  shared->WorkerEnded();
  return false;
}

}  // namespace kestrune
