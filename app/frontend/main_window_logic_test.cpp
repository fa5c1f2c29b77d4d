// The Linux window's decisions: one run at a time, a close put off while the
// watch is being written, and what the status line says meanwhile.
#include "app/frontend/main_window_logic.h"

#include <gtest/gtest.h>

#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

using CloseAction = MainWindowLogic::CloseAction;

TEST(MainWindowLogic, OnePressStartsOneRunAndTheButtonWaitsForItsEnd) {
  MainWindowLogic logic;
  EXPECT_TRUE(logic.UpdateButtonEnabled());
  EXPECT_TRUE(logic.PressUpdate());
  EXPECT_FALSE(logic.UpdateButtonEnabled());
  EXPECT_FALSE(logic.PressUpdate());  // a second press while it runs
  EXPECT_FALSE(logic.RunEnded());     // no close waits
  EXPECT_TRUE(logic.UpdateButtonEnabled());
  EXPECT_TRUE(logic.PressUpdate());
}

TEST(MainWindowLogic, ARunThatCannotStartSaysSoAndFreesTheButton) {
  MainWindowLogic logic;
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
    MainWindowLogic logic;
    if (c.running) ASSERT_TRUE(logic.PressUpdate());
    EXPECT_EQ(logic.RequestClose(c.writing), c.expected) << c.name;
    EXPECT_EQ(logic.ClosePending(), c.expected == CloseAction::kDeferred) << c.name;
  }
}

TEST(MainWindowLogic, ADeferredCloseStaysSaidUntilTheRunEndsAndThenIsDue) {
  MainWindowLogic logic;
  ASSERT_TRUE(logic.PressUpdate());
  logic.ShowStatus(kWritingImage);
  ASSERT_EQ(logic.RequestClose(true), CloseAction::kDeferred);
  const std::u16string writingLine = StatusWithCloseDeferred(kWritingImage);
  EXPECT_EQ(logic.StatusLine(), writingLine);

  // Nothing starts and nothing hides the notice meanwhile.
  EXPECT_FALSE(logic.UpdateButtonEnabled());
  EXPECT_FALSE(logic.PressUpdate());
  EXPECT_EQ(logic.RequestClose(false), CloseAction::kDeferred);  // asked again
  logic.ShowStatus(kUpdateDone);
  EXPECT_EQ(logic.StatusLine(), StatusWithCloseDeferred(kUpdateDone));

  EXPECT_TRUE(logic.RunEnded());
}

TEST(MainWindowLogic, ADeferredCloseBeforeAnyStatusIsSaidAlone) {
  MainWindowLogic logic;
  ASSERT_TRUE(logic.PressUpdate());
  ASSERT_EQ(logic.RequestClose(true), CloseAction::kDeferred);
  EXPECT_EQ(logic.StatusLine(), kCloseDeferred);
}

}  // namespace
}  // namespace kestrune
