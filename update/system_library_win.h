#pragma once
// DLLs that are not among Windows's known DLLs (which always come from
// System32) would be looked for first in the program's own folder: a DLL
// of that name planted beside a copied program would run inside it. Such
// DLLs are therefore never imported by the programs; they are loaded from
// System32 alone, here.

#include <windows.h>

namespace kestrune {

// Makes System32 the only folder the process's later DLL loads search, the
// system DLLs' own delayed loads included. Called first thing by each
// program.
void RestrictDllSearchToSystem32();

// `name` (e.g. L"wininet.dll") from System32, or null with the system's
// error in GetLastError(). Never unloaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The function `name` of `module`, as `Function`, or null.
template <typename Function>
Function SystemFunction(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace kestrune
