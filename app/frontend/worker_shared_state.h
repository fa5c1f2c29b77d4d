#pragma once
// What a main window shares with its worker threads, whatever draws it (the
// Windows dialog, the Linux window): the check's manifest text, held once
// for every run; the close gate; the count of running workers; and the
// surroundings of the window's runs, filled once. How a worker's notices
// reach the window is each window's own: it implements Post.
//
// - Workers hold a shared_ptr to this state, never the window, so the state
//   outlives the window for as long as a worker runs; a notice posted after
//   the window has gone goes nowhere.
// - The gate decides between a close and the run's start of writing under
//   its own lock: once writing has begun a close waits for the run's end,
//   and once a close is decided the run never begins writing.

#include <atomic>
#include <mutex>
#include <string>

#include "app/frontend/power_question.h"
#include "app/frontend/window_notice.h"
#include "app/frontend/worker_count.h"
#include "transfer/close_gate.h"
#include "transfer/run_outcome.h"
#include "transfer/update_environment.h"

namespace kestrune {

class WorkerSharedState {
 public:
  // `programName` names the program's runs in the run log.
  explicit WorkerSharedState(const std::string& programName);
  virtual ~WorkerSharedState() = default;
  WorkerSharedState(const WorkerSharedState&) = delete;
  WorkerSharedState& operator=(const WorkerSharedState&) = delete;

  // What a worker tells the window, called on the worker's thread, never
  // with a lock of this object held. It must do nothing once the window has
  // gone, and wait for the UI thread only where the window's own rules say
  // so.
  virtual void Post(WindowNotice notice) = 0;

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
  // window's close gate, the manifest text its check stored, and its
  // question for a weak battery (a kPowerQuestion notice).
  const UpdateEnvironment& RunEnvironment() const { return environment_; }

  // How the firmware update that runs now ended, set by its worker and
  // taken for the kRunFinished notice; a run that ended by an exception
  // ended as kFailure.
  void SetRunOutcome(RunOutcome outcome) { runOutcome_ = outcome; }
  RunOutcome TakeRunOutcome() { return runOutcome_.exchange(RunOutcome::kFailure); }

  // The user's answer to a kPowerQuestion, on the UI thread. Answered no,
  // the run writes nothing and the status line is emptied; a close while
  // the question is open counts as no.
  void AnswerPowerQuestion(bool goOn) { powerQuestion_.Answer(goOn); }

 private:
  mutable std::mutex manifestLock_;
  SharedManifestText manifestText_;
  WorkerCount workers_;
  std::atomic<RunOutcome> runOutcome_{RunOutcome::kFailure};
  CloseGate gate_;
  PowerQuestion powerQuestion_;
  UpdateEnvironment environment_;
};

}  // namespace kestrune
