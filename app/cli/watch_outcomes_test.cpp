#include "app/cli/watch_outcomes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune {
namespace {

WatchOutcome Ended(RunOutcome outcome, int interruptCode = 130) {
  return {"KW-1", "/dev/ttyACM0", outcome, WatchExitCode(outcome, interruptCode), 1.0};
}

TEST(SeveralWatches, ExitCodeIsZeroOnlyWhenEveryWatchIsDone) {
  const struct {
    const char* name;
    std::vector<WatchOutcome> outcomes;
    int update;   // update --all, several --port
    int station;  // station, ended by Ctrl-C (130)
  } cases[] = {
      {"no watch", {}, 3, 130},
      {"one done", {Ended(RunOutcome::kDone)}, 0, 0},
      {"all done",
       {Ended(RunOutcome::kDone), Ended(RunOutcome::kDone), Ended(RunOutcome::kDone)},
       0,
       0},
      {"one refused",
       {Ended(RunOutcome::kDone), Ended(RunOutcome::kBlockRefused), Ended(RunOutcome::kDone)},
       11,
       11},
      {"one silent, alone", {Ended(RunOutcome::kWatchSilent)}, 11, 11},
      {"one port busy", {Ended(RunOutcome::kPortUnavailable), Ended(RunOutcome::kDone)}, 11, 11},
      {"one already current (left as it was)",
       {Ended(RunOutcome::kDone), Ended(RunOutcome::kAlreadyCurrent)},
       0,
       0},
      {"one already current, one refused",
       {Ended(RunOutcome::kAlreadyCurrent), Ended(RunOutcome::kBlockRefused)},
       11,
       11},
      {"one kept from writing by the interrupt",
       {Ended(RunOutcome::kDone), Ended(RunOutcome::kClosedBeforeWriting)},
       11,
       11},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SeveralWatchesExitCode(c.outcomes), c.update) << c.name;
    EXPECT_STREQ(SeveralWatchesReason(c.update), c.update == 0   ? "done"
                                                 : c.update == 3 ? "no_watch"
                                                                 : "watches_failed")
        << c.name;
    EXPECT_EQ(StationExitCode(c.outcomes, 130), c.station) << c.name;
  }
}

TEST(SeveralWatches, AnInterruptBeforeWritingIsSaidSo) {
  EXPECT_STREQ(SeveralWatchesReason(130), "interrupted");
  EXPECT_STREQ(SeveralWatchesReason(143), "interrupted");
}

TEST(SeveralWatches, EachWatchKeepsTheSingleRunsCode) {
  EXPECT_EQ(WatchExitCode(RunOutcome::kDone, 130), 0);
  EXPECT_EQ(WatchExitCode(RunOutcome::kBlockRefused, 130), 7);
  EXPECT_EQ(WatchExitCode(RunOutcome::kPortUnavailable, 143), 8);
  EXPECT_EQ(WatchExitCode(RunOutcome::kFailure, 143), 1);
  // Kept from writing by the interrupt: the interrupt's own code.
  EXPECT_EQ(WatchExitCode(RunOutcome::kClosedBeforeWriting, 143), 143);
}

// In the source language: no catalogue is read here.
TEST(SeveralWatches, SummaryLineNamesWatchResultReasonTimeAndTries) {
  const struct {
    WatchOutcome outcome;
    const char* expected;
  } cases[] = {
      {{"52F0A1B2", "/dev/ttyACM0", RunOutcome::kDone, 0, 12.34},
       "52F0A1B2  /dev/ttyACM0  Update complete (done)  12.3 s  1 try"},
      {{"", "COM8", RunOutcome::kBlockRefused, 7, 3.0},
       "-  COM8  Update failed (block_refused)  3.0 s  1 try"},
      {{"KW-9", "/dev/ttyUSB0", RunOutcome::kClosedBeforeWriting, 130, 0.25},
       "KW-9  /dev/ttyUSB0  not written (interrupted)  0.2 s  1 try"},
      // A station's watch written again after a lost line.
      {{"KW-3", "/dev/ttyACM2", RunOutcome::kDone, 0, 4.0, 2},
       "KW-3  /dev/ttyACM2  Update complete (done)  4.0 s  2 tries"},
      // What the device tree says cannot move the terminal's cursor.
      {{"KW\x1b[2J", "/dev/ttyACM1", RunOutcome::kWatchSilent, 9, 20.0},
       "KW\xEF\xBF\xBD[2J  /dev/ttyACM1  The watch does not answer (watch_silent)  20.0 s  1 try"},
  };
  for (const auto& c : cases) EXPECT_EQ(SummaryLine(c.outcome), c.expected);
}

}  // namespace
}  // namespace kestrune
