#pragma once
// The main dialog's runs on its taskbar button: the dialog's progress bar
// is mirrored there (the bar is subclassed, so the workers' messages to it
// need nothing more), and the dialog says when a run starts and ends.
// UI thread only; lives from WM_INITDIALOG to WM_DESTROY.

#include <windows.h>

#include <memory>
#include <string>

#include "app/frontend/taskbar_progress.h"

namespace kestrune {

class DialogTaskbar {
 public:
  DialogTaskbar(HWND dialog, HWND progressBar, std::unique_ptr<TaskbarProgress> taskbar);
  ~DialogTaskbar();
  DialogTaskbar(const DialogTaskbar&) = delete;
  DialogTaskbar& operator=(const DialogTaskbar&) = delete;

  // True when `message` was the shell's word that the button exists.
  bool HandleMessage(UINT message);
  void RunStarted();
  void RunEnded(RunOutcome outcome);

 private:
  static LRESULT CALLBACK ProgressBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self);

  HWND dialog_;
  HWND progressBar_;
  std::unique_ptr<TaskbarProgress> taskbar_;
  TaskbarRunIndicator indicator_;
};

}  // namespace kestrune
