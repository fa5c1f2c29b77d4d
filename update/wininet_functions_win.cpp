#include "update/wininet_functions_win.h"

#include "update/system_library_win.h"

namespace kestrune {
namespace {

bool Load(WinInetFunctions& f) {
  HMODULE dll = LoadSystemLibrary(L"wininet.dll");
  if (dll == nullptr) return false;
#define KESTRUNE_TAKE(name) (f.name = SystemFunction<decltype(f.name)>(dll, #name)) != nullptr
  return KESTRUNE_TAKE(InternetOpenW) && KESTRUNE_TAKE(InternetConnectW) &&
         KESTRUNE_TAKE(InternetCrackUrlW) && KESTRUNE_TAKE(InternetCombineUrlW) &&
         KESTRUNE_TAKE(InternetSetOptionW) && KESTRUNE_TAKE(InternetReadFile) &&
         KESTRUNE_TAKE(InternetCloseHandle) && KESTRUNE_TAKE(HttpOpenRequestW) &&
         KESTRUNE_TAKE(HttpSendRequestW) && KESTRUNE_TAKE(HttpQueryInfoW);
#undef KESTRUNE_TAKE
}

}  // namespace

const WinInetFunctions* SystemWinInet() {
  // Loaded once; a failed load is tried again at the next download.
  static WinInetFunctions functions{};
  static bool loaded = false;
  static SRWLOCK lock = SRWLOCK_INIT;
  AcquireSRWLockExclusive(&lock);
  if (!loaded) loaded = Load(functions);
  const DWORD error = GetLastError();
  ReleaseSRWLockExclusive(&lock);
  SetLastError(error);
  return loaded ? &functions : nullptr;
}

}  // namespace kestrune
