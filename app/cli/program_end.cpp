#include "app/cli/program_end.h"

#include <string>

#include "app/cli/console.h"
#include "update/run_log.h"

namespace kestrune {

namespace {

// Whether `output` printed everything within `bound`; the run log says so
// when it did not.
bool OutputTaken(ReportDrain& output, std::chrono::milliseconds bound, int exitCode) {
  if (output.WaitUntilDelivered(bound)) return true;
  WriteRunLog("output: standard output or error took nothing for " + std::to_string(bound.count()) +
              " ms at the end (a stopped terminal?); " + std::to_string(output.Pending()) +
              " report(s) not printed, the program ends with exit code " +
              std::to_string(exitCode));
  return false;
}

}  // namespace

int EndProgram(ReportDrain& output, std::chrono::milliseconds bound, int exitCode) {
  if (OutputTaken(output, bound, exitCode)) return exitCode;
  UserRunLog().Flush(kRunLogLockWait + std::chrono::seconds(3));
  ExitProcessNow(exitCode);
}

void EndProgramNow(ReportDrain& output, std::chrono::milliseconds bound, int exitCode) {
  OutputTaken(output, bound, exitCode);
  UserRunLog().Flush(kRunLogLockWait + std::chrono::seconds(3));
  ExitProcessNow(exitCode);
}

}  // namespace kestrune
