#pragma once
// What a main window shares with its worker threads, whatever draws it (the
// Windows dialog, the Linux window): the check's manifest text, held once
// for every run; the close gate; the count of running workers; and the
// surroundings of the window's runs, filled once. How a worker's reports
// reach the window is each window's own: it implements the Show calls.
//
// - Workers hold a shared_ptr to this state, never the window, so the state
//   outlives the window for as long as a worker runs; a Show call after the
//   window has gone does nothing.
// - The gate decides between a close and the run's start of writing under
//   its own lock: once writing has begun a close waits for the run's end,
//   and once a close is decided the run never begins writing.

#include <cstdint>
#include <mutex>
#include <string>

#include "app/frontend/worker_count.h"
#include "transfer/close_gate.h"
#include "transfer/update_environment.h"

namespace kestrune {

class WorkerSharedState {
 public:
  // `programName` names the program's runs in the run log.
  explicit WorkerSharedState(const std::string& programName);
  virtual ~WorkerSharedState() = default;
  WorkerSharedState(const WorkerSharedState&) = delete;
  WorkerSharedState& operator=(const WorkerSharedState&) = delete;

  // What the workers show, called on their threads. None may be called with
  // a lock of this object held, and none waits for the UI thread but where
  // the window's own rules say so.
  virtual void ShowStatus(const std::u16string& text) = 0;
  virtual void ShowFirmwareVersion(const std::u16string& version) = 0;
  virtual void ShowReleaseNotes(const std::u16string& notes) = 0;
  // The progress bar runs from 0 to `maximum`, one step per block.
  virtual void ShowProgressRange(std::uint32_t maximum) = 0;
  virtual void ShowProgressPosition(std::uint32_t position) = 0;
  // Writing the watch has begun (true) or is over (false): what the window
  // holds off on the desktop meanwhile. A close asks the gate instead.
  virtual void ShowWriting(bool writing) = 0;
  // The firmware-update worker has ended, however it ended.
  virtual void ShowRunEnded() = 0;

  // The check's manifest text, held once; every run shares it.
  SharedManifestText ManifestText() const;
  void SetManifestText(const std::string& text);

  CloseGate& Gate() { return gate_; }

  // Workers count themselves in and out, so that the program knows whether
  // one still runs when the window has gone.
  void WorkerStarted() { workers_.Started(); }
  void WorkerEnded() { workers_.Ended(); }
  int RunningWorkers() const { return workers_.Running(); }

  // The platform's surroundings under the program's name, with this
  // window's close gate and the manifest text its check stored.
  const UpdateEnvironment& RunEnvironment() const { return environment_; }

 private:
  mutable std::mutex manifestLock_;
  SharedManifestText manifestText_;
  WorkerCount workers_;
  CloseGate gate_;
  UpdateEnvironment environment_;
};

}  // namespace kestrune
