#pragma once
// What the Linux main window shares with its worker threads: besides what
// every window shares with them (WorkerSharedState), the hand-over of their
// reports to the window.
//
// Thread-and-window protocol:
// - The UI thread owns the window. Workers never see it: each holds a
//   shared_ptr to this state, which therefore outlives the window for as
//   long as a worker runs.
// - Workers reach the window only through Post(), which hands a notice to
//   the sink the window attached. The sink only queues the notice for the UI
//   thread (it never waits for it), and it is called with `lock_` held, so
//   once DetachWindow() has returned no notice reaches the window any more.
// - Progress positions are coalesced: a position notice is handed over only
//   when none is on its way; the window takes the latest position with
//   TakeProgressPosition when that notice arrives, so a busy UI thread
//   gets one notice, not one per block.
// - The window asks the close gate whether firmware is being written.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/frontend/worker_shared_state.h"

namespace kestrune {

// The program's name: its desktop entry's id and its name in the run log.
inline constexpr char kLinuxProgramName[] = "orvel-kestrune";

class WindowSharedState : public WorkerSharedState {
 public:
  // Queues a notice for the UI thread; must not wait for that thread and
  // must not call back into this object.
  using Sink = std::function<void(WindowNotice)>;

  WindowSharedState() : WorkerSharedState(kLinuxProgramName) {}

  void AttachWindow(Sink sink);
  // From its return on, no notice reaches the window.
  void DetachWindow();

  // Hands the notice to the window if it is still there; a progress
  // position only when no position notice is on its way.
  void Post(WindowNotice notice) override;

  // The latest progress position, for the UI thread when a position notice
  // arrives; the next position posts a notice again.
  std::uint32_t TakeProgressPosition();

 private:
  mutable std::mutex lock_;
  Sink sink_;
  std::atomic<std::uint32_t> progressPosition_{0};
  std::atomic<bool> positionPosted_{false};  // a position notice is on its way
};

}  // namespace kestrune
