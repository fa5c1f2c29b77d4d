#include "device/cfgmgr32_functions_win.h"

#include "update/system_library_win.h"

namespace kestrune {
namespace {

bool Load(Cfgmgr32Functions& f) {
  HMODULE dll = LoadSystemLibrary(L"cfgmgr32.dll");
  if (dll == nullptr) return false;
#define KESTRUNE_TAKE(name) (f.name = SystemFunction<decltype(f.name)>(dll, #name)) != nullptr
  return KESTRUNE_TAKE(CM_Get_Parent) && KESTRUNE_TAKE(CM_Get_Device_IDW) &&
         KESTRUNE_TAKE(CM_Get_DevNode_Registry_PropertyW) &&
         KESTRUNE_TAKE(CM_Get_Device_Interface_List_ExW);
#undef KESTRUNE_TAKE
}

}  // namespace

const Cfgmgr32Functions* SystemCfgmgr32() {
  // Discovery runs on more than one thread; loaded once, a failed load is
  // tried again at the next search.
  static Cfgmgr32Functions functions{};
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
