#include "app/windows/framework/dialog_window.h"

namespace kestrune {

namespace {

// Messages whose result goes back to the dialog manager directly instead
// of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return true;
    default: return false;
  }
}

}  // namespace

DialogWindow::~DialogWindow() {
  if (window_ && IsWindow(window_)) {
    SetWindowLongPtrW(window_, DWLP_USER, 0);
  }
}

HWND DialogWindow::Create(HINSTANCE instance, int templateId, HWND parent) {
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), parent, &DialogProc,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWindow* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogWindow*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    if (self) self->window_ = window;
  } else {
    self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) and after the object let go
  // of the window take the dialog manager's default processing.
  if (!self) return FALSE;
  return self->Dispatch(window, message, wParam, lParam);
}

INT_PTR DialogWindow::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  BOOL handled = FALSE;
  try {
    handled = ProcessWindowMessage(window, message, wParam, lParam, result);
  } catch (...) {
    // A window procedure is a C boundary: nothing may unwind through it.
    handled = FALSE;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    window_ = nullptr;
    try {
      OnFinalMessage(window);
    } catch (...) {
    }
    return FALSE;
  }
  if (!handled) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace kestrune
