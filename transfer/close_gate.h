#pragma once
// "Close decided" against "writing begun": a front-end that is asked to
// close (window close, Ctrl-C) and an update run that is about to write the
// watch agree here, so a close never cuts a block and writing never begins
// after a close was decided.

#include <mutex>

namespace kestrune {

// Said to the user when a close asked for during writing waits for the run.
inline constexpr char16_t kCloseDeferred[] = u"正在寫入更新檔，完成後才會關閉";

class CloseGate {
 public:
  // The run is about to write the watch. False when a close was already
  // decided: the run must not begin writing.
  bool BeginWriting() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closeRequested_) return false;
    writing_ = true;
    return true;
  }

  // Writing is over (the run has ended and the port is closed).
  void EndWriting() {
    std::lock_guard<std::mutex> lock(mutex_);
    writing_ = false;
  }

  // A close is asked for. True when it may happen now; false while writing,
  // when it waits for EndWriting.
  bool RequestClose() {
    std::lock_guard<std::mutex> lock(mutex_);
    closeRequested_ = true;
    return !writing_;
  }

  bool CloseRequested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closeRequested_;
  }

 private:
  mutable std::mutex mutex_;
  bool writing_ = false;
  bool closeRequested_ = false;
};

}  // namespace kestrune
