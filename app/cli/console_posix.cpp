#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "app/cli/console.h"
#include "app/cli/interrupt_slot.h"

namespace kestrune {

void PrepareConsole() { ::signal(SIGPIPE, SIG_IGN); }

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

bool EnableTerminalRedraw() { return true; }

void HandleInterrupts(std::function<void(int exitCode)> onInterrupt) {
  // Blocked in this thread and in every thread started after it; one thread
  // takes them with sigwait, where any function may be called.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);  // the terminal closed: not a reason to stop writing
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  SetInterruptHandler(std::move(onInterrupt));
  std::thread([signals] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) == 0) DeliverInterrupt(128 + signal);
    }
  }).detach();
}

void ExitProcessNow(int code) {
  ::_exit(code);
}

}  // namespace kestrune
