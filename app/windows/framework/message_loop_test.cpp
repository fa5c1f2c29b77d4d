#include "app/windows/framework/message_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace kestrune {
namespace {

constexpr UINT kConsumedByMiddle = WM_APP + 1;
constexpr UINT kConsumedByNone = WM_APP + 2;

struct RecordingFilter : CMessageFilter {
  RecordingFilter(std::string name, std::vector<std::string>& log, UINT consumes = 0)
      : name(std::move(name)), log(log), consumes(consumes) {}
  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message == kConsumedByMiddle || msg->message == kConsumedByNone) log.push_back(name);
    return msg->message == consumes;
  }
  std::string name;
  std::vector<std::string>& log;
  UINT consumes;
};

int dispatched[2];

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kConsumedByMiddle) ++dispatched[0];
  if (message == kConsumedByNone) ++dispatched[1];
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeMessageWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KestruneLoopTestWindow";
  RegisterClassW(&wc);
  return CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                       nullptr);
}

TEST(MessageLoopTest, FiltersRunLastAddedFirstAndAConsumedMessageIsNotDispatched) {
  std::vector<std::string> log;
  RecordingFilter first("first", log), middle("middle", log, kConsumedByMiddle), last("last", log);
  CMessageLoop loop;
  loop.AddMessageFilter(&first);
  loop.AddMessageFilter(&middle);
  loop.AddMessageFilter(&last);

  HWND window = MakeMessageWindow();
  ASSERT_NE(window, nullptr);
  dispatched[0] = dispatched[1] = 0;
  PostMessageW(window, kConsumedByMiddle, 0, 0);
  PostMessageW(window, kConsumedByNone, 0, 0);
  PostQuitMessage(5);

  EXPECT_EQ(loop.Run(), 5);
  EXPECT_EQ(log, (std::vector<std::string>{"last", "middle", "last", "middle", "first"}));
  EXPECT_EQ(dispatched[0], 0);
  EXPECT_EQ(dispatched[1], 1);
  DestroyWindow(window);
}

TEST(MessageLoopTest, RemovedFilterIsNoLongerAskedAndRemovingTwiceReportsAbsence) {
  std::vector<std::string> log;
  RecordingFilter a("a", log), b("b", log);
  CMessageLoop loop;
  loop.AddMessageFilter(&a);
  loop.AddMessageFilter(&b);
  loop.AddMessageFilter(&a);
  EXPECT_TRUE(loop.RemoveMessageFilter(&a));  // the first one only
  EXPECT_FALSE(loop.RemoveMessageFilter(nullptr));

  PostThreadMessageW(GetCurrentThreadId(), kConsumedByNone, 0, 0);
  PostQuitMessage(2);
  EXPECT_EQ(loop.Run(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));

  EXPECT_TRUE(loop.RemoveMessageFilter(&a));
  EXPECT_FALSE(loop.RemoveMessageFilter(&a));
}

// Records idle rounds and messages into one log, and signals each.
struct IdleProbe : CIdleHandler, CMessageFilter {
  IdleProbe()
      : idleRan(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        messageSeen(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~IdleProbe() override {
    CloseHandle(idleRan);
    CloseHandle(messageSeen);
  }
  BOOL OnIdle() override {
    log.push_back("idle");
    SetEvent(idleRan);
    return TRUE;  // the loop ignores the answer
  }
  BOOL PreTranslateMessage(MSG* msg) override {
    log.push_back(std::to_string(msg->message));
    SetEvent(messageSeen);
    return TRUE;  // nothing to dispatch for thread messages
  }
  HANDLE idleRan;
  HANDLE messageSeen;
  std::vector<std::string> log;
};

TEST(MessageLoopTest, OnlyMessagesOtherThanMovesPaintsAndSystemTimerReArmIdleOnce) {
  struct Step {
    UINT message;
    bool reArms;
  };
  const std::vector<Step> steps = {
      {WM_MOUSEMOVE, false}, {WM_USER, true},         {WM_PAINT, false},
      {0x0118, false},       {WM_NCMOUSEMOVE, false}, {WM_TIMER, true},
      {WM_KEYDOWN, true},    {WM_APP + 7, true},      {WM_PAINT, false}};

  IdleProbe probe;
  CMessageLoop loop;
  loop.AddIdleHandler(&probe);
  loop.AddMessageFilter(&probe);
  MSG ensureQueue;
  PeekMessageW(&ensureQueue, nullptr, 0, 0, PM_NOREMOVE);
  const DWORD uiThread = GetCurrentThreadId();

  std::vector<std::string> expected = {"idle"};
  std::string failure;
  std::thread driver([&] {
    // The first round of idle work runs before any message.
    if (WaitForSingleObject(probe.idleRan, 5000) != WAIT_OBJECT_0) failure = "no first idle";
    for (const Step& step : steps) {
      if (!failure.empty()) break;
      PostThreadMessageW(uiThread, step.message, 0, 0);
      if (WaitForSingleObject(probe.messageSeen, 5000) != WAIT_OBJECT_0) {
        failure = "message not taken";
        break;
      }
      // A re-armed loop runs idle work at once; give a wrong one time to.
      DWORD wait = WaitForSingleObject(probe.idleRan, step.reArms ? 5000 : 300);
      if (step.reArms && wait != WAIT_OBJECT_0) failure = "idle did not run";
    }
    PostThreadMessageW(uiThread, WM_QUIT, 9, 0);
  });
  for (const Step& step : steps) {
    expected.push_back(std::to_string(step.message));
    if (step.reArms) expected.push_back("idle");
  }

  EXPECT_EQ(loop.Run(), 9);
  driver.join();
  EXPECT_EQ(failure, "");
  EXPECT_EQ(probe.log, expected);
}

}  // namespace
}  // namespace kestrune
