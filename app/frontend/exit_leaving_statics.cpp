#include "app/frontend/exit_leaving_statics.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "update/run_log.h"

namespace kestrune {

// The run log is written on its own thread: the lines the program has
// written so far reach the file first, a bounded wait.
void ExitLeavingStatics(int exitCode) {
  UserRunLog().Flush(kRunLogLockWait + std::chrono::seconds(1));
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace kestrune
