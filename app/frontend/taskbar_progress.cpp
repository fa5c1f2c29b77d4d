#include "app/frontend/taskbar_progress.h"

namespace kestrune {

void TaskbarRunIndicator::RunStarted() { taskbar_.Clear(); }

void TaskbarRunIndicator::RangeSet(std::uint32_t maximum) { taskbar_.SetRange(maximum); }

void TaskbarRunIndicator::PositionSet(std::uint32_t position) { taskbar_.SetPosition(position); }

void TaskbarRunIndicator::RunEnded(RunOutcome outcome, bool windowInFront) {
  // Done: the dialog's own bar stands full and says it; the button goes
  // back to plain, as after a run that ended without a word before writing
  // (the user said no to a weak battery, or closed the window). Anything
  // else leaves the button red until the next run.
  if (outcome == RunOutcome::kDone || outcome == RunOutcome::kPowerLow ||
      outcome == RunOutcome::kClosedBeforeWriting) {
    taskbar_.Clear();
  } else {
    taskbar_.Error();
  }
  if (!windowInFront) taskbar_.Flash();
}

}  // namespace kestrune
