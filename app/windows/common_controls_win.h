#pragma once
// The common-controls functions the dialog calls, taken from System32's
// comctl32.dll rather than imported: comctl32 is no known DLL, so an
// imported one would be looked for first beside the program (see
// update/system_library_win.h). The dialog asks for no side-by-side
// version in its manifest, so System32's is the one it always had.

#include <windows.h>
#include <commctrl.h>

namespace kestrune {

struct CommonControlsFunctions {
  decltype(&::InitCommonControlsEx) InitCommonControlsEx;
  decltype(&::SetWindowSubclass) SetWindowSubclass;
  decltype(&::RemoveWindowSubclass) RemoveWindowSubclass;
  decltype(&::DefSubclassProc) DefSubclassProc;
};

// The functions, loaded at the first call; null when comctl32.dll or one of
// them cannot be had.
const CommonControlsFunctions* SystemCommonControls();

}  // namespace kestrune
