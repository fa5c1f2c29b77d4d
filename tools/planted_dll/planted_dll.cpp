// Loaded into a process, it leaves "<its own path>.loaded" and ends the
// process with exit code 86 before the process can call into it.

#include <windows.h>

namespace {

constexpr UINT kLoadedExitCode = 86;

void RecordAndEnd(HINSTANCE self) {
  wchar_t path[MAX_PATH + 8] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    lstrcatW(path, L".loaded");
    HANDLE marker =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  TerminateProcess(GetCurrentProcess(), kLoadedExitCode);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordAndEnd(self);
  return TRUE;
}
