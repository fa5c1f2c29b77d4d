#pragma once
// The console as the command-line updater uses it, one implementation per
// platform.

#include <functional>

namespace kestrune {

// Makes the console take UTF-8 output (Windows); elsewhere a closed output
// (a reader that went away) becomes a failed write instead of SIGPIPE, and
// the interrupts wait, blocked in every thread started from now on, for the
// thread of HandleInterrupts. Called first, before any thread starts.
void PrepareConsole();

// Whether standard output is a terminal (a console on Windows).
bool StandardOutputIsTerminal();

// The width of the terminal on standard output in columns, or 0 when it is
// none or does not say.
int TerminalColumns();
// Its height in lines, or 0 likewise.
int TerminalRows();

// Lets a terminal's lines be redrawn in place with escape sequences (a
// Windows console takes them once asked to); false where it cannot.
bool EnableTerminalRedraw();

// Calls `onInterrupt` on a thread of its own for every Ctrl-C, SIGTERM and
// SIGHUP (Ctrl-C, Ctrl-Break and console close on Windows) from now on, with
// the exit code shells expect for it (128 + the signal: 130, 143, 129; 130
// for Ctrl-C and Ctrl-Break, 129 for a console close); the process goes on
// unless `onInterrupt` ends it. A console close on Windows
// is the exception: the system ends the process once the handler returns.
void HandleInterrupts(std::function<void(int exitCode)> onInterrupt);

// From now on interrupts call nothing; waits for a call already under way.
// What the handler refers to may be destroyed afterwards.
void StopHandlingInterrupts();

// Ends the process at once with `code`, without running destructors of
// other threads' objects. Standard output and error are not flushed: what
// the program prints goes through its output thread, which flushes each
// write, and a stream stuck in a stopped terminal must not hold the end up.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace kestrune
