#include "app/windows/common_controls_win.h"

#include "update/system_library_win.h"

namespace kestrune {
namespace {

bool Load(CommonControlsFunctions& f) {
  HMODULE dll = LoadSystemLibrary(L"comctl32.dll");
  if (dll == nullptr) return false;
#define KESTRUNE_TAKE(name) (f.name = SystemFunction<decltype(f.name)>(dll, #name)) != nullptr
  return KESTRUNE_TAKE(InitCommonControlsEx) && KESTRUNE_TAKE(SetWindowSubclass) &&
         KESTRUNE_TAKE(RemoveWindowSubclass) && KESTRUNE_TAKE(DefSubclassProc);
#undef KESTRUNE_TAKE
}

}  // namespace

const CommonControlsFunctions* SystemCommonControls() {
  // The UI thread is the only caller; loaded once, at the program's start.
  static CommonControlsFunctions functions{};
  static const bool loaded = Load(functions);
  return loaded ? &functions : nullptr;
}

}  // namespace kestrune
