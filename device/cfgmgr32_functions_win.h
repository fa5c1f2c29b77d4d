#pragma once
// The configuration-manager functions that device discovery calls, taken
// from System32's cfgmgr32.dll (see update/system_library_win.h) rather
// than imported: cfgmgr32 is not among Windows's known DLLs.

#include <windows.h>
// windows.h first: the device header builds on its types.
#include <cfgmgr32.h>

namespace kestrune {

struct Cfgmgr32Functions {
  decltype(&::CM_Get_Parent) CM_Get_Parent;
  decltype(&::CM_Get_Device_IDW) CM_Get_Device_IDW;
  decltype(&::CM_Get_DevNode_Registry_PropertyW) CM_Get_DevNode_Registry_PropertyW;
  decltype(&::CM_Get_Device_Interface_List_ExW) CM_Get_Device_Interface_List_ExW;
};

// The functions, loaded at the first call; null when cfgmgr32.dll or one of
// them cannot be had (the system's error then in GetLastError()).
const Cfgmgr32Functions* SystemCfgmgr32();

}  // namespace kestrune
