#include "app/frontend/taskbar_progress.h"

#include "transfer/firmware_update.h"

namespace kestrune {

void TaskbarRunIndicator::RunStarted() { taskbar_.Clear(); }

void TaskbarRunIndicator::RangeSet(std::uint32_t maximum) { taskbar_.SetRange(maximum); }

void TaskbarRunIndicator::PositionSet(std::uint32_t position) { taskbar_.SetPosition(position); }

void TaskbarRunIndicator::RunEnded(const std::u16string& lastStatus, bool windowInFront) {
  // Done: the dialog's own bar stands full and says it; the button goes
  // back to plain, as after a run that ended without a word before writing
  // (the user said no to a weak battery). Anything else leaves the button
  // red until the next run.
  if (lastStatus == kUpdateDone || lastStatus.empty()) {
    taskbar_.Clear();
  } else {
    taskbar_.Error();
  }
  if (!windowInFront) taskbar_.Flash();
}

}  // namespace kestrune
