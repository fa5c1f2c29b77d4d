#pragma once
// Ending the process while a worker thread may still be running.

namespace kestrune {

// Ends the process with `exitCode` without destroying the program's statics
// (the run log, the downloader, ...): a worker thread that still runs may be
// using them, and must not meet them torn down. The system then ends the
// worker. What the C streams hold is written out first, and so are the run
// log's lines written so far (a bounded wait).
[[noreturn]] void ExitLeavingStatics(int exitCode);

}  // namespace kestrune
