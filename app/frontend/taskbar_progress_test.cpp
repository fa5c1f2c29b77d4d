#include "app/frontend/taskbar_progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "testing/recording_taskbar_progress.h"
#include "transfer/run_outcome.h"

namespace kestrune {
namespace {

using testing::ElementsAre;
using testing_support::RecordingTaskbarProgress;

// A run of `blocks` blocks that ends with `outcome`.
std::vector<std::string> WholeRun(TaskbarRunIndicator& indicator, RecordingTaskbarProgress& taskbar,
                                  std::uint32_t blocks, RunOutcome outcome, bool windowInFront) {
  taskbar.calls.clear();
  indicator.RunStarted();
  indicator.RangeSet(blocks);
  for (std::uint32_t written = 1; written <= blocks; ++written) indicator.PositionSet(written);
  indicator.RunEnded(outcome, windowInFront);
  return taskbar.calls;
}

TEST(TaskbarRunIndicatorTest, ADoneRunCountsEveryBlockAndEndsWithoutProgress) {
  RecordingTaskbarProgress taskbar;
  TaskbarRunIndicator indicator(taskbar);
  EXPECT_THAT(WholeRun(indicator, taskbar, 3, RunOutcome::kDone, true),
              ElementsAre("clear", "range 3", "position 1", "position 2", "position 3", "clear"));
}

struct EndCase {
  RunOutcome outcome;
  bool windowInFront;
  std::vector<std::string> end;  // the calls after the last block
};

TEST(TaskbarRunIndicatorTest, TheEndOfARunShowsItsOutcomeAndFlashesWhenNotInFront) {
  const EndCase cases[] = {
      {RunOutcome::kDone, true, {"clear"}},
      {RunOutcome::kDone, false, {"clear", "flash"}},
      {RunOutcome::kBlockRefused, true, {"error"}},
      {RunOutcome::kBlockRefused, false, {"error", "flash"}},
      {RunOutcome::kNoWatch, false, {"error", "flash"}},
      {RunOutcome::kWatchSilent, true, {"error"}},
      {RunOutcome::kPortUnavailable, true, {"error"}},
      {RunOutcome::kLinkFailed, true, {"error"}},
      {RunOutcome::kImageDownloadFailed, true, {"error"}},
      {RunOutcome::kImageWrongSize, true, {"error"}},
      {RunOutcome::kNoUpdateData, true, {"error"}},
      {RunOutcome::kFailure, true, {"error"}},
      // Said no to a weak battery, or closed before writing: nothing went
      // wrong, nothing was written.
      {RunOutcome::kPowerLow, true, {"clear"}},
      {RunOutcome::kClosedBeforeWriting, false, {"clear", "flash"}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const EndCase& c = cases[i];
    RecordingTaskbarProgress taskbar;
    TaskbarRunIndicator indicator(taskbar);
    std::vector<std::string> calls = WholeRun(indicator, taskbar, 1, c.outcome, c.windowInFront);
    std::vector<std::string> expected = {"clear", "range 1", "position 1"};
    expected.insert(expected.end(), c.end.begin(), c.end.end());
    EXPECT_EQ(calls, expected) << "case " << i;
  }
}

TEST(TaskbarRunIndicatorTest, TheNextRunClearsTheErrorBeforeItCounts) {
  RecordingTaskbarProgress taskbar;
  TaskbarRunIndicator indicator(taskbar);
  WholeRun(indicator, taskbar, 2, RunOutcome::kBlockRefused, true);
  taskbar.calls.clear();
  indicator.RunStarted();
  indicator.RangeSet(2);
  EXPECT_THAT(taskbar.calls, ElementsAre("clear", "range 2"));
}

}  // namespace
}  // namespace kestrune
