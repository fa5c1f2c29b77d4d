// The dialog's taskbar button under Wine: the real shell calls on a real
// window, and the progress bar mirrored into a recording button.

#include "app/windows/dialog_taskbar_win.h"

#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <thread>

#include "app/windows/taskbar_progress_win.h"
#include "testing/recording_taskbar_progress.h"
#include "transfer/firmware_update.h"

namespace kestrune {
namespace {

using testing::ElementsAre;
using testing_support::RecordingTaskbarProgress;

// A top-level window with a progress bar in it, on this thread.
class TestWindow {
 public:
  TestWindow() {
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    window = CreateWindowExW(0, L"STATIC", L"taskbar test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                             300, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 10, window,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~TestWindow() {
    DestroyWindow(window);
    CoUninitialize();
  }
  HWND window = nullptr;
  HWND bar = nullptr;
};

// Hands every call on to a recorder that outlives the dialog's taskbar.
class ForwardingTaskbar : public TaskbarProgress {
 public:
  explicit ForwardingTaskbar(TaskbarProgress& to) : to_(to) {}
  void SetRange(std::uint32_t maximum) override { to_.SetRange(maximum); }
  void SetPosition(std::uint32_t position) override { to_.SetPosition(position); }
  void Error() override { to_.Error(); }
  void Clear() override { to_.Clear(); }
  void Flash() override { to_.Flash(); }
  void ButtonCreated() override { to_.ButtonCreated(); }

 private:
  TaskbarProgress& to_;
};

// Runs `work` on a thread of its own, as a worker does, and keeps this
// (the window's) thread taking the messages it sends meanwhile.
template <class Work>
void OnWorkerThread(Work work) {
  bool done = false;
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  worker.join();
}

TEST(WindowsTaskbarProgressTest, ObtainsTheShellsTaskbarAtTheFirstCallAndEveryCallSucceeds) {
  TestWindow test;
  ASSERT_NE(test.window, nullptr);
  WindowsTaskbarProgress taskbar(test.window);
  EXPECT_FALSE(taskbar.Obtained());
  const std::pair<const char*, void (*)(WindowsTaskbarProgress&)> calls[] = {
      {"SetRange(4)", [](WindowsTaskbarProgress& t) { t.SetRange(4); }},
      {"SetPosition(2)", [](WindowsTaskbarProgress& t) { t.SetPosition(2); }},
      {"Error()", [](WindowsTaskbarProgress& t) { t.Error(); }},
      {"Clear()", [](WindowsTaskbarProgress& t) { t.Clear(); }},
      {"Flash()", [](WindowsTaskbarProgress& t) { t.Flash(); }},
      {"ButtonCreated()", [](WindowsTaskbarProgress& t) { t.ButtonCreated(); }},
      {"SetRange(2) after ButtonCreated", [](WindowsTaskbarProgress& t) { t.SetRange(2); }},
  };
  for (const auto& [name, call] : calls) {
    call(taskbar);
    std::cout << "  " << name << ": obtained " << taskbar.Obtained() << ", HRESULT 0x" << std::hex
              << static_cast<unsigned long>(taskbar.LastResult()) << std::dec << "\n";
    EXPECT_EQ(taskbar.LastResult(), S_OK) << name;
  }
  EXPECT_TRUE(taskbar.Obtained());
}

TEST(DialogTaskbarTest, MirrorsTheWorkersProgressBarMessagesAndTheRunsEnd) {
  TestWindow test;
  RecordingTaskbarProgress recorded;
  {
    DialogTaskbar taskbar(test.window, test.bar, std::make_unique<ForwardingTaskbar>(recorded));
    taskbar.RunStarted();
    OnWorkerThread([&] {
      SendMessageW(test.bar, PBM_SETRANGE32, 0, 3);
      for (WPARAM block = 1; block <= 3; ++block) SendMessageW(test.bar, PBM_SETPOS, block, 0);
    });
    EXPECT_EQ(SendMessageW(test.bar, PBM_GETPOS, 0, 0), 3) << "the bar itself still moves";
    taskbar.RunEnded(RunOutcome::kBlockRefused);
    std::vector<std::string> expected = {"clear",      "range 3",    "position 1",
                                         "position 2", "position 3", "error"};
    if (GetForegroundWindow() != test.window) expected.push_back("flash");
    EXPECT_EQ(recorded.calls, expected);

    recorded.calls.clear();
    EXPECT_TRUE(taskbar.HandleMessage(WindowsTaskbarProgress::ButtonCreatedMessage()));
    EXPECT_FALSE(taskbar.HandleMessage(WM_USER + 1000));
    EXPECT_THAT(recorded.calls, ElementsAre("button created"));
  }
  recorded.calls.clear();
  SendMessageW(test.bar, PBM_SETPOS, 1, 0);
  EXPECT_TRUE(recorded.calls.empty()) << "mirrored after the dialog's taskbar went";
}

}  // namespace
}  // namespace kestrune
