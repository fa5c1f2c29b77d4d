#pragma once
// The one decision between a front-end's close and the start of writing the
// watch: whichever comes first wins. Once a close is decided the run never
// begins writing (it stops cleanly); once writing has begun a close waits
// for the run's end. Shared by the front-end and the run's thread.

#include <mutex>

namespace kestrune {

class CloseGate {
 public:
  // Called by the run just before the first block goes out. False when a
  // close was decided first: the run must then stop without writing.
  bool BeginWriting();
  // Called by the run once the link is closed, however it ended.
  void EndWriting();
  // Called by the front-end. True when it may close now; false when writing
  // is under way, and the close is then owed at the run's end.
  bool RequestClose();
  bool CloseRequested() const;
  bool Writing() const;

 private:
  mutable std::mutex lock_;
  bool writing_ = false;
  bool closeRequested_ = false;
};

}  // namespace kestrune
