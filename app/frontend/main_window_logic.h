#pragma once
// What a main window decides, apart from drawing (the Windows dialog and the
// Linux window alike): one firmware update at a time, a close put off while
// the watch is being written, and the text of the status line. Used on the
// UI thread only.

#include <string>

#include "transfer/logged_runs.h"

namespace kestrune {

class CloseGate;

class MainWindowLogic {
 public:
  enum class CloseAction { kCloseNow, kDeferred };

  // `gate` is the one its runs decide writing against; it must outlive this.
  explicit MainWindowLogic(CloseGate& gate) : gate_(gate) {}

  // A press of "Update Firmware": true when a run is to start now.
  bool PressUpdate();
  // The run's worker could not be started.
  void RunNotStarted();
  // The run's worker has ended. True when a deferred close is due now.
  bool RunEnded();
  // The user asks to close. Decided against the runs' close gate: before
  // writing has begun the close wins and the run never writes; once writing
  // has begun the close waits for the run's end.
  CloseAction RequestClose();
  // A new status text from a worker or from the window itself.
  void ShowStatus(const std::u16string& text);

  bool UpdateButtonEnabled() const { return !running_ && !closePending_; }
  bool ClosePending() const { return closePending_; }
  // The latest status; once a close waits for the run, followed by the
  // notice that the window will close afterwards.
  std::u16string StatusLine() const;

 private:
  CloseGate& gate_;
  bool running_ = false;
  bool closePending_ = false;
  std::u16string status_;
};

}  // namespace kestrune
