#include "app/frontend/main_window_logic.h"

#include "transfer/close_gate.h"
#include "transfer/firmware_update.h"

namespace kestrune {

bool MainWindowLogic::PressUpdate() {
  if (running_ || closePending_) return false;
  running_ = true;
  return true;
}

void MainWindowLogic::RunNotStarted() {
  running_ = false;
  ShowStatus(kCannotStartWorker);
}

bool MainWindowLogic::RunEnded() {
  running_ = false;
  return closePending_;
}

MainWindowLogic::CloseAction MainWindowLogic::RequestClose() {
  // Cutting a firmware write off half-way can leave the watch unusable:
  // close when the run has ended (every wait of a run is bounded, so it
  // ends). Asked every time, so that a run not yet writing never begins.
  const bool writing = !gate_.RequestClose();
  if (closePending_ || (running_ && writing)) {
    closePending_ = true;
    return CloseAction::kDeferred;
  }
  return CloseAction::kCloseNow;
}

void MainWindowLogic::ShowStatus(const std::u16string& text) { status_ = text; }

std::u16string MainWindowLogic::StatusLine() const {
  return closePending_ ? StatusWithCloseDeferred(status_) : status_;
}

}  // namespace kestrune
