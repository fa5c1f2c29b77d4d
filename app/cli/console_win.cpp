#include <windows.h>
#include <io.h>

#include <cstdio>
#include <utility>

#include "app/cli/console.h"
#include "app/cli/interrupt_slot.h"

namespace kestrune {
namespace {

// Runs on a thread the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: DeliverInterrupt(130); return TRUE;
    case CTRL_CLOSE_EVENT: DeliverInterrupt(129); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

void PrepareConsole() { SetConsoleOutputCP(CP_UTF8); }

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

void HandleInterrupts(std::function<void(int exitCode)> onInterrupt) {
  SetInterruptHandler(std::move(onInterrupt));
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void ExitProcessNow(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace kestrune
