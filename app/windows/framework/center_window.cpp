#include "app/windows/framework/center_window.h"

#include "app/frontend/centered_position.h"

namespace kestrune {

namespace {

ScreenRect ToScreenRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

bool CenterWindow(HWND window) {
  HWND reference = GetWindow(window, GW_OWNER);
  if (reference && (!IsWindowVisible(reference) || IsIconic(reference))) reference = nullptr;

  HMONITOR monitor = MonitorFromWindow(reference ? reference : window, MONITOR_DEFAULTTONEAREST);
  if (!monitor) return false;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(monitor, &info)) return false;

  RECT centerIn = info.rcWork;
  if (reference) GetWindowRect(reference, &centerIn);
  RECT own{};
  GetWindowRect(window, &own);

  ScreenPoint at = CenteredPosition(own.right - own.left, own.bottom - own.top,
                                    ToScreenRect(centerIn), ToScreenRect(info.rcWork));
  return SetWindowPos(window, nullptr, at.x, at.y, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

}  // namespace kestrune
