#pragma once
// Centres a top-level window over its owner, or over the work area of its
// monitor when it has no visible owner, keeping it inside that work area.

#include <windows.h>

namespace kestrune {

// False when the window stays where it is (no monitor information).
bool CenterWindow(HWND window);

}  // namespace kestrune
