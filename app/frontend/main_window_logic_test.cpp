// A main window's decisions (the dialog's and the Linux window's): one run at
// a time, a close put off while the watch is being written, and what the
// status line says meanwhile.
#include "app/frontend/main_window_logic.h"

#include <gtest/gtest.h>

#include "transfer/close_gate.h"
#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

using CloseAction = MainWindowLogic::CloseAction;

TEST(MainWindowLogic, OnePressStartsOneRunAndTheButtonWaitsForItsEnd) {
  CloseGate gate;
  MainWindowLogic logic(gate);
  EXPECT_TRUE(logic.UpdateButtonEnabled());
  EXPECT_TRUE(logic.PressUpdate());
  EXPECT_FALSE(logic.UpdateButtonEnabled());
  EXPECT_FALSE(logic.PressUpdate());  // a second press while it runs
  EXPECT_FALSE(logic.RunEnded());     // no close waits
  EXPECT_TRUE(logic.UpdateButtonEnabled());
  EXPECT_TRUE(logic.PressUpdate());
}

TEST(MainWindowLogic, ARunThatCannotStartSaysSoAndFreesTheButton) {
  CloseGate gate;
  MainWindowLogic logic(gate);
  ASSERT_TRUE(logic.PressUpdate());
  logic.RunNotStarted();
  EXPECT_TRUE(logic.UpdateButtonEnabled());
  EXPECT_EQ(logic.StatusLine(), kCannotStartWorker);
}

TEST(MainWindowLogic, CloseIsImmediateUnlessFirmwareIsBeingWritten) {
  struct Case {
    const char* name;
    bool running;
    bool writing;
    CloseAction expected;
  };
  const Case cases[] = {
      {"idle", false, false, CloseAction::kCloseNow},
      {"downloading", true, false, CloseAction::kCloseNow},
      {"writing", true, true, CloseAction::kDeferred},
  };
  for (const Case& c : cases) {
    CloseGate gate;
    MainWindowLogic logic(gate);
    if (c.running) ASSERT_TRUE(logic.PressUpdate());
    if (c.writing) ASSERT_TRUE(gate.BeginWriting());
    EXPECT_EQ(logic.RequestClose(), c.expected) << c.name;
    EXPECT_EQ(logic.ClosePending(), c.expected == CloseAction::kDeferred) << c.name;
    // One call decided it for the run too: a close that came first keeps
    // the run from ever writing.
    EXPECT_TRUE(gate.CloseRequested()) << c.name;
    if (!c.writing) EXPECT_FALSE(gate.BeginWriting()) << c.name;
  }
}

TEST(MainWindowLogic, ADeferredCloseStaysSaidUntilTheRunEndsAndThenIsDue) {
  CloseGate gate;
  MainWindowLogic logic(gate);
  ASSERT_TRUE(logic.PressUpdate());
  ASSERT_TRUE(gate.BeginWriting());
  logic.ShowStatus(kWritingImage);
  ASSERT_EQ(logic.RequestClose(), CloseAction::kDeferred);
  const std::u16string writingLine = StatusWithCloseDeferred(kWritingImage);
  EXPECT_EQ(logic.StatusLine(), writingLine);

  // Nothing starts and nothing hides the notice meanwhile.
  EXPECT_FALSE(logic.UpdateButtonEnabled());
  EXPECT_FALSE(logic.PressUpdate());
  gate.EndWriting();  // the run has stopped writing but not yet ended
  EXPECT_EQ(logic.RequestClose(), CloseAction::kDeferred);  // asked again
  logic.ShowStatus(kUpdateDone);
  EXPECT_EQ(logic.StatusLine(), StatusWithCloseDeferred(kUpdateDone));

  EXPECT_TRUE(logic.RunEnded());
}

TEST(MainWindowLogic, ADeferredCloseBeforeAnyStatusIsSaidAlone) {
  CloseGate gate;
  MainWindowLogic logic(gate);
  ASSERT_TRUE(logic.PressUpdate());
  ASSERT_TRUE(gate.BeginWriting());
  ASSERT_EQ(logic.RequestClose(), CloseAction::kDeferred);
  EXPECT_EQ(logic.StatusLine(), kCloseDeferred);
}

}  // namespace
}  // namespace kestrune
