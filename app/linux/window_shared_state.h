#pragma once
// What the Linux main window shares with its worker threads.
//
// Thread-and-window protocol:
// - The UI thread owns the window. Workers never see it: each holds a
//   shared_ptr to this state, which therefore outlives the window for as
//   long as a worker runs.
// - Workers reach the window only through Post(), which hands a notice to
//   the sink the window attached. The sink only queues the notice for the UI
//   thread (it never waits for it), and it is called with `lock_` held, so
//   once DetachWindow() has returned no notice reaches the window any more.
// - `gate` decides between a close and the run's start of writing, under its
//   own lock: once writing has begun a close waits for the run's end, and once
//   a close is decided the run never begins writing. The window asks the
//   gate whether firmware is being written.
// - Every field is read and written under `lock_` and copied out whole.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/frontend/worker_count.h"
#include "transfer/close_gate.h"
#include "transfer/firmware_update.h"

namespace kestrune {

// One thing a worker tells the window.
struct WindowNotice {
  enum class Kind {
    kStatus,            // text: a new status line text
    kFirmwareVersion,   // text: the offered firmware version
    kReleaseNotes,      // text: the release notes
    kProgressRange,     // value: the progress bar runs from 0 to value
    kProgressPosition,  // value: blocks written so far
    kWriting,           // value: 1 once writing the watch begins, 0 when it is over
    kRunFinished,       // the firmware-update worker has ended
  };
  Kind kind;
  std::u16string text;
  std::uint32_t value = 0;
};

class WindowSharedState {
 public:
  // Queues a notice for the UI thread; must not wait for that thread and
  // must not call back into this object.
  using Sink = std::function<void(WindowNotice)>;

  void AttachWindow(Sink sink);
  // From its return on, no notice reaches the window.
  void DetachWindow();

  // Hands the notice to the window if it is still there.
  void Post(WindowNotice notice) const;

  // The check's manifest text, held once; every run shares it.
  SharedManifestText ManifestText() const;
  void SetManifestText(const std::string& text);

  CloseGate& Gate() { return gate_; }

  // Workers count themselves in and out, so that the program knows whether
  // one still runs when the window has gone.
  void WorkerStarted() { workers_.Started(); }
  void WorkerEnded() { workers_.Ended(); }
  int RunningWorkers() const { return workers_.Running(); }

 private:
  mutable std::mutex lock_;
  Sink sink_;
  SharedManifestText manifestText_;
  WorkerCount workers_;
  CloseGate gate_;
};

}  // namespace kestrune
