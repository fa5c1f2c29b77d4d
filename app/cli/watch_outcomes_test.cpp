#include "app/cli/watch_outcomes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transfer/firmware_update.h"

namespace kestrune {
namespace {

WatchOutcome Ended(const std::u16string& status, int interruptCode = 130) {
  return {"KW-1", "/dev/ttyACM0", status, WatchExitCode(status, interruptCode), 1.0};
}

TEST(SeveralWatches, ExitCodeIsZeroOnlyWhenEveryWatchIsDone) {
  const struct {
    const char* name;
    std::vector<WatchOutcome> outcomes;
    int update;   // update --all, several --port
    int station;  // station, ended by Ctrl-C (130)
  } cases[] = {
      {"no watch", {}, 3, 130},
      {"one done", {Ended(kUpdateDone)}, 0, 0},
      {"all done", {Ended(kUpdateDone), Ended(kUpdateDone), Ended(kUpdateDone)}, 0, 0},
      {"one refused", {Ended(kUpdateDone), Ended(kUpdateFailed), Ended(kUpdateDone)}, 11, 11},
      {"one silent, alone", {Ended(kWatchSilent)}, 11, 11},
      {"one port busy", {Ended(kPortUnavailable), Ended(kUpdateDone)}, 11, 11},
      {"one kept from writing by the interrupt", {Ended(kUpdateDone), Ended(u"")}, 11, 11},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<int>(SeveralWatchesExitCode(c.outcomes)), c.update) << c.name;
    EXPECT_EQ(StationExitCode(c.outcomes, 130), c.station) << c.name;
  }
}

TEST(SeveralWatches, EachWatchKeepsTheSingleRunsCode) {
  EXPECT_EQ(WatchExitCode(kUpdateDone, 130), 0);
  EXPECT_EQ(WatchExitCode(kUpdateFailed, 130), 7);
  EXPECT_EQ(WatchExitCode(kPortUnavailable, 143), 8);
  EXPECT_EQ(WatchExitCode(u"", 143), 143);
}

TEST(SeveralWatches, SummaryLineNamesWatchResultReasonAndTime) {
  const struct {
    WatchOutcome outcome;
    const char* expected;
  } cases[] = {
      {{"52F0A1B2", "/dev/ttyACM0", kUpdateDone, 0, 12.34},
       "52F0A1B2  /dev/ttyACM0  更新完成 (done)  12.3 s"},
      {{"", "COM8", kUpdateFailed, 7, 3.0}, "-  COM8  更新錯誤 (block_refused)  3.0 s"},
      {{"KW-9", "/dev/ttyUSB0", u"", 130, 0.25},
       "KW-9  /dev/ttyUSB0  not written (interrupted)  0.2 s"},
      // What the device tree says cannot move the terminal's cursor.
      {{"KW\x1b[2J", "/dev/ttyACM1", kWatchSilent, 9, 20.0},
       "KW\xEF\xBF\xBD[2J  /dev/ttyACM1  潛水錶沒有回應 (watch_silent)  20.0 s"},
  };
  for (const auto& c : cases) EXPECT_EQ(SummaryLine(c.outcome), c.expected);
}

}  // namespace
}  // namespace kestrune
