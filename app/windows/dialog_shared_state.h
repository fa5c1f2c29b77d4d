#pragma once
// What the main dialog shares with its worker threads: besides what every
// window shares with them (WorkerSharedState), the window handle and the
// status text, and how their reports reach the dialog.
//
// Thread-and-window protocol:
// - The UI thread owns the dialog object and its window. Workers never see
//   the dialog object: each holds a shared_ptr to this state, so the state
//   outlives both the dialog and the window for as long as a worker runs.
// - Every field below is read and written under `lock_`, and always copied
//   out whole; no window call is ever made while the lock is held, so a
//   worker waiting in SendMessage never blocks the UI thread on the lock.
// - The window handle is set at WM_INITDIALOG and cleared at WM_DESTROY.
//   A worker takes a copy for each call; a call that races with the
//   destruction goes to a dead handle and simply fails.
// - Workers report by assigning StatusText and posting WM_UPDATE_STATUS
//   (never waiting). The progress bar's range and position go the same
//   way: the worker stores the latest ones and posts WM_UPDATE_PROGRESS
//   unless one is still on its way, and the UI thread sets the bar from
//   what is stored when it arrives, so a worker writing the watch never
//   waits for the UI thread, and a busy UI thread sees the latest position
//   instead of a queue of old ones. Only the update check's control texts
//   (version, release notes), which no writing thread sets, are sent
//   messages that wait for the UI thread. The UI thread never waits for a
//   worker: it joins no thread and holds no lock across a window call.
// - One firmware update at a time: the dialog's MainWindowLogic, on the UI
//   thread, marks a run begun when it starts one and ended when the run's
//   WM_UPDATE_FINISHED arrives. The close gate decides between a
//   close and the start of writing: a close decided first keeps the run
//   from writing; once writing has begun a close waits for the run's end
//   instead of cutting the write off.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/frontend/worker_shared_state.h"

namespace kestrune {

// The program's name in the run log.
inline constexpr char kDialogProgramName[] = "orvel kestrune";

// Posted by a worker after it has assigned the status text.
constexpr UINT WM_UPDATE_STATUS = WM_USER + 1000;
// Posted by the firmware-update worker when its run has ended.
constexpr UINT WM_UPDATE_FINISHED = WM_USER + 1001;
// Posted by the firmware-update worker when writing the watch begins
// (wParam 1) or has ended (wParam 0).
constexpr UINT WM_WRITING_CHANGED = WM_USER + 1002;
// Posted by the firmware-update worker when the progress bar's range or
// position has changed and no such message is on its way yet.
constexpr UINT WM_UPDATE_PROGRESS = WM_USER + 1003;

// What the progress bar is to show, taken by the UI thread.
struct DialogProgress {
  bool rangeChanged = false;
  std::uint32_t maximum = 0;
  bool positionChanged = false;
  std::uint32_t position = 0;
};

// Posted by the firmware-update worker, which then waits for the answer
// (AnswerPowerQuestion), when the battery looks too weak for the writing.
constexpr UINT WM_POWER_QUESTION = WM_USER + 1004;

class DialogSharedState : public WorkerSharedState {
 public:
  DialogSharedState() : WorkerSharedState(kDialogProgramName) {}

  void AttachWindow(HWND window);
  void DetachWindow();
  // The dialog window, or nullptr once it is being destroyed.
  HWND Window() const;

  std::u16string StatusText() const;
  // The text of the question that WM_POWER_QUESTION asks.
  std::u16string PowerQuestionText() const;

  // Assigns the status text, then posts WM_UPDATE_STATUS to the window.
  void PostStatus(const std::u16string& text);
  // Posts a message to the window if it is still there.
  void Post(UINT message, WPARAM wParam = 0) const;

  // The progress bar's latest range and position since the last call,
  // for the UI thread at WM_UPDATE_PROGRESS; a later change posts again.
  DialogProgress TakeProgress();

  // A status by PostStatus, the progress bar by WM_UPDATE_PROGRESS; the
  // version and the notes by sent messages, which wait for the UI thread;
  // writing and the run's end by posted messages, since the shutdown block
  // and the button belong to the window's own thread.
  void Post(WindowNotice notice) override;

 private:
  mutable std::mutex lock_;
  HWND window_ = nullptr;
  std::u16string statusText_;
  // Stored by the worker before it posts, taken by the UI thread.
  std::atomic<std::uint32_t> progressMaximum_{0};
  std::atomic<std::uint32_t> progressPosition_{0};
  std::atomic<bool> progressRangeChanged_{false};
  std::atomic<bool> progressPositionChanged_{false};
  std::atomic<bool> progressPosted_{false};  // a WM_UPDATE_PROGRESS is on its way
  std::u16string powerQuestionText_;
};

}  // namespace kestrune
