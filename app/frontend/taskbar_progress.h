#pragma once
// A firmware update's progress on the window's taskbar button: the button
// itself (one implementation per platform, a recording one in tests) and
// what each event of a run does to it. UI thread only.

#include <cstdint>

#include "transfer/run_outcome.h"

namespace kestrune {

class TaskbarProgress {
 public:
  virtual ~TaskbarProgress() = default;
  // The button's bar counts `maximum` steps from now on, in the normal state.
  virtual void SetRange(std::uint32_t maximum) = 0;
  virtual void SetPosition(std::uint32_t position) = 0;
  // The bar turns to the error state where it stands.
  virtual void Error() = 0;
  // The button shows no progress.
  virtual void Clear() = 0;
  // The button flashes until the window comes to the front.
  virtual void Flash() = 0;
  // The shell has made the window's button (again, after it restarted):
  // whatever the old button showed is gone.
  virtual void ButtonCreated() {}
};

class TaskbarRunIndicator {
 public:
  explicit TaskbarRunIndicator(TaskbarProgress& taskbar) : taskbar_(taskbar) {}

  // A run starts: what the last one left (its error state) goes.
  void RunStarted();
  // The run's progress: `maximum` blocks in all, `position` written so far.
  void RangeSet(std::uint32_t maximum);
  void PositionSet(std::uint32_t position);
  // The run has ended with `outcome`. A user who is not looking at the
  // window has the button flash.
  void RunEnded(RunOutcome outcome, bool windowInFront);

 private:
  TaskbarProgress& taskbar_;
};

}  // namespace kestrune
