#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "app/cli/console.h"
#include "app/cli/interrupt_slot.h"

namespace kestrune {

namespace {

// The interrupts the program takes on a thread of its own.
sigset_t InterruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);  // the terminal closed: not a reason to stop writing
  return signals;
}

}  // namespace

// The interrupts are blocked before any thread starts (the output thread,
// the run log's), so every thread inherits the block and none of them is
// ended by one: only the thread HandleInterrupts starts takes them.
void PrepareConsole() {
  ::signal(SIGPIPE, SIG_IGN);
  const sigset_t signals = InterruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

int TerminalRows() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_row;
}

bool EnableTerminalRedraw() { return true; }

void HandleInterrupts(std::function<void(int exitCode)> onInterrupt) {
  // Blocked in this thread and in every thread started after it (already
  // since PrepareConsole); one thread takes them with sigwait, where any
  // function may be called.
  const sigset_t signals = InterruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  SetInterruptHandler(std::move(onInterrupt));
  std::thread([signals] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) == 0) DeliverInterrupt(128 + signal);
    }
  }).detach();
}

void ExitProcessNow(int code) { ::_exit(code); }

}  // namespace kestrune
