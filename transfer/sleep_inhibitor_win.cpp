// Windows: the thread's execution state asks the system to stay awake. The
// request belongs to the calling thread, so the inhibitor must be created and
// destroyed on the same thread (the update worker does both).
#include "transfer/sleep_inhibitor.h"

#include <windows.h>

namespace kestrune {

SleepInhibitor::SleepInhibitor(const char* /*why*/) {
  const EXECUTION_STATE previous = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  if (previous != 0) {
    held_ = true;
    token_ = static_cast<long long>(previous);
  }
}

SleepInhibitor::~SleepInhibitor() {
  if (held_) {
    // Put back what the thread asked for before, at least ES_CONTINUOUS so
    // the system-required request is dropped.
    SetThreadExecutionState(static_cast<EXECUTION_STATE>(token_) | ES_CONTINUOUS);
  }
}

}  // namespace kestrune
