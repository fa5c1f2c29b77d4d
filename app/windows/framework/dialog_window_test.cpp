#include "app/windows/framework/dialog_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "res/resource.h"

namespace kestrune {
namespace {

constexpr UINT kThrow = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;

// A dialog on the program's own template whose handlers throw or answer.
class ProbeDialog : public DialogWindow {
 public:
  HWND Create() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);  // the template holds a progress bar
    return DialogWindow::Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, nullptr);
  }
  int initialised = 0;
  int finalMessages = 0;
  HWND finalWindow = nullptr;

 protected:
  BOOL ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        ++initialised;
        result = TRUE;
        return TRUE;
      case kThrow: throw std::runtime_error("handler failed");
      case kAnswer: result = static_cast<LRESULT>(wParam) + 1; return TRUE;
      default: return FALSE;
    }
  }
  void OnFinalMessage(HWND window) override {
    ++finalMessages;
    finalWindow = window;
  }
};

TEST(DialogWindowTest, BindsTheWindowToItsObjectAndReturnsHandlerResults) {
  ProbeDialog dialog;
  HWND window = dialog.Create();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(dialog.Window(), window);
  EXPECT_EQ(dialog.initialised, 1);
  EXPECT_EQ(GetWindowLongPtrW(window, DWLP_USER), reinterpret_cast<LONG_PTR>(&dialog));
  EXPECT_EQ(SendMessageW(window, kAnswer, 41, 0), 42);
  DestroyWindow(window);
}

TEST(DialogWindowTest, AnExceptionInAHandlerStaysInsideTheDialogProcedure) {
  ProbeDialog dialog;
  HWND window = dialog.Create();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(SendMessageW(window, kThrow, 0, 0), 0);
  // The window goes on working after the failed handler.
  EXPECT_EQ(SendMessageW(window, kAnswer, 1, 0), 2);
  DestroyWindow(window);
}

TEST(DialogWindowTest, TheObjectLetsGoOfItsWindowAtTheFinalMessage) {
  ProbeDialog dialog;
  HWND window = dialog.Create();
  ASSERT_NE(window, nullptr);
  DestroyWindow(window);
  EXPECT_EQ(dialog.Window(), nullptr);
  EXPECT_EQ(dialog.finalMessages, 1);
  EXPECT_EQ(dialog.finalWindow, window);
}

TEST(DialogWindowTest, AWindowOutlivingItsObjectNoLongerReachesIt) {
  auto* dialog = new ProbeDialog;
  HWND window = dialog->Create();
  ASSERT_NE(window, nullptr);
  delete dialog;
  EXPECT_EQ(GetWindowLongPtrW(window, DWLP_USER), 0);
  // Default processing only: the message is not answered by the object.
  EXPECT_EQ(SendMessageW(window, kAnswer, 41, 0), 0);
  DestroyWindow(window);
}

}  // namespace
}  // namespace kestrune
