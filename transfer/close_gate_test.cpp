#include "transfer/close_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "transfer/firmware_update.h"

namespace kestrune {
namespace {

TEST(CloseGate, ACloseBeforeWritingClosesNowAndWritingNeverBegins) {
  CloseGate gate;
  EXPECT_TRUE(gate.RequestClose());
  EXPECT_TRUE(gate.CloseRequested());
  EXPECT_FALSE(gate.BeginWriting());
  EXPECT_FALSE(gate.Writing());
}

TEST(CloseGate, ACloseDuringWritingIsDeferredUntilTheRunEnds) {
  CloseGate gate;
  ASSERT_TRUE(gate.BeginWriting());
  EXPECT_FALSE(gate.RequestClose());
  EXPECT_TRUE(gate.CloseRequested());
  EXPECT_TRUE(gate.Writing());
  gate.EndWriting();
  EXPECT_FALSE(gate.Writing());
  EXPECT_TRUE(gate.RequestClose());
}

TEST(CloseGate, WithoutACloseWritingMayBeginAgain) {
  CloseGate gate;
  ASSERT_TRUE(gate.BeginWriting());
  gate.EndWriting();
  EXPECT_TRUE(gate.BeginWriting());
  EXPECT_FALSE(gate.CloseRequested());
}

// However the two race, exactly one side wins: either the close goes ahead
// and writing never begins, or writing began and the close is deferred.
TEST(CloseGate, RacingCloseAndWritingNeverBothProceed) {
  for (int round = 0; round < 300; ++round) {
    CloseGate gate;
    std::atomic<bool> go{false};
    bool closedNow = false;
    bool writingBegan = false;
    std::thread front([&] {
      while (!go) std::this_thread::yield();
      closedNow = gate.RequestClose();
    });
    std::thread run([&] {
      while (!go) std::this_thread::yield();
      writingBegan = gate.BeginWriting();
    });
    go = true;
    front.join();
    run.join();
    ASSERT_NE(closedNow, writingBegan) << "round " << round;
  }
}

TEST(CloseDeferredStatus, StaysInFrontOfEveryLaterStatus) {
  EXPECT_EQ(StatusWithCloseDeferred(u""), u"更新結束後將關閉視窗");
  EXPECT_EQ(StatusWithCloseDeferred(kCloseDeferred), u"更新結束後將關閉視窗");
  EXPECT_EQ(StatusWithCloseDeferred(kWritingImage), u"更新結束後將關閉視窗（正在寫入更新檔）");
  EXPECT_EQ(StatusWithCloseDeferred(kWatchSilent), u"更新結束後將關閉視窗（潛水錶沒有回應）");
}

}  // namespace
}  // namespace kestrune
