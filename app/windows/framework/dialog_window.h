#pragma once
// A modeless dialog window bound to a C++ object. The dialog's user-data
// slot (DWLP_USER) maps the window to its object: it is set at
// WM_INITDIALOG from the creation parameter and cleared at WM_NCDESTROY
// and in the destructor, so no message reaches an object that is gone.
// Nothing thrown by a handler leaves the dialog procedure.

#include <windows.h>

namespace kestrune {

class DialogWindow {
 public:
  DialogWindow() = default;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  virtual ~DialogWindow();

  // Creates the window from dialog template `templateId` of `instance`;
  // nullptr when it cannot be created.
  HWND Create(HINSTANCE instance, int templateId, HWND parent);

  HWND Window() const { return window_; }

 protected:
  // The message map: TRUE when the message was taken, with its result.
  virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) = 0;
  // Called after the window is gone.
  virtual void OnFinalMessage(HWND /*window*/) {}

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
};

// A dialog window whose class names its template as T::IDD.
template <class T>
class CDialogImpl : public DialogWindow {
 public:
  HWND Create(HINSTANCE instance, HWND parent = nullptr) {
    return DialogWindow::Create(instance, T::IDD, parent);
  }
};

}  // namespace kestrune
