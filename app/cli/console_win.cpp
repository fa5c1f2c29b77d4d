#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/cli/console.h"
#include "app/cli/interrupt_slot.h"
#include "transfer/watch_write.h"
#include "update/system_library_win.h"

namespace kestrune {
namespace {

// How long a closed console's handler waits, once no watch is being
// written, for the program to end by itself (its result, its history rows).
constexpr DWORD kEndAfterCloseMs = 10000;

// Runs on a thread the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: DeliverInterrupt(130); return TRUE;
    case CTRL_CLOSE_EVENT:
      DeliverInterrupt(129);
      // A closed console's process ends as soon as this returns, and the
      // system ends it anyway after a few seconds. Until then a watch being
      // written goes on, and the program ends by itself once it is done.
      while (WatchesBeingWritten() > 0) Sleep(50);
      Sleep(kEndAfterCloseMs);
      return TRUE;
    default: return FALSE;
  }
}

// The console's output code page before this program set it; 0 when it
// set none. The console outlives the program: whoever started it gets it back.
UINT previousOutputCodePage = 0;

void RestoreOutputCodePage() {
  if (previousOutputCodePage != 0) SetConsoleOutputCP(previousOutputCodePage);
}

}  // namespace

void PrepareConsole() {
  // Before anything loads a DLL: System32 is the only folder searched.
  RestrictDllSearchToSystem32();
  const UINT previous = GetConsoleOutputCP();  // 0 without a console
  if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    previousOutputCodePage = previous;
    std::atexit(RestoreOutputCodePage);
  }
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

int TerminalRows() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Bottom - info.srWindow.Top + 1;
}

bool EnableTerminalRedraw() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(out, &mode)) return false;
  if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
  return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

void HandleInterrupts(std::function<void(int exitCode)> onInterrupt) {
  SetInterruptHandler(std::move(onInterrupt));
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void ExitProcessNow(int code) {
  RestoreOutputCodePage();  // ExitProcess runs no atexit function
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace kestrune
