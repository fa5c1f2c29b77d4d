#pragma once
// How kestrune-update ends when its output is stuck (a terminal stopped with
// Ctrl-S, a paused pager's full pipe): its last lines are handed to the
// output thread like any others, and the end waits for them only a bounded
// time. The exit code and the moment the process ends never depend on the
// terminal; the run log, written on its own thread, is complete either way.

#include <chrono>

#include "report/report_drain.h"

namespace kestrune {

// How long the end of a run waits for the output to take its last lines:
// a terminal stopped for a moment still shows the result.
inline constexpr std::chrono::milliseconds kOutputWaitAtEnd{5000};
// How long an interrupt that ends the program waits for them.
inline constexpr std::chrono::milliseconds kOutputWaitAtInterrupt{1000};

// The program's end with `exitCode`: waits at most `bound` until `output`
// has printed everything handed to it, and returns `exitCode` when it has.
// Otherwise it says in the run log that the output took nothing for that
// long, waits a bounded time for the log's last lines, and ends the process
// at once, leaving the output thread in its write.
int EndProgram(ReportDrain& output, std::chrono::milliseconds bound, int exitCode);

// The same, but ends the process in either case (an interrupt before
// writing began).
[[noreturn]] void EndProgramNow(ReportDrain& output, std::chrono::milliseconds bound, int exitCode);

}  // namespace kestrune
