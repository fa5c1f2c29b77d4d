#include "app/frontend/taskbar_progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "testing/recording_taskbar_progress.h"
#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

using testing::ElementsAre;
using testing_support::RecordingTaskbarProgress;

// A run of `blocks` blocks that ends with `lastStatus`.
std::vector<std::string> WholeRun(TaskbarRunIndicator& indicator, RecordingTaskbarProgress& taskbar,
                                  std::uint32_t blocks, const std::u16string& lastStatus,
                                  bool windowInFront) {
  taskbar.calls.clear();
  indicator.RunStarted();
  indicator.RangeSet(blocks);
  for (std::uint32_t written = 1; written <= blocks; ++written) indicator.PositionSet(written);
  indicator.RunEnded(lastStatus, windowInFront);
  return taskbar.calls;
}

TEST(TaskbarRunIndicatorTest, ADoneRunCountsEveryBlockAndEndsWithoutProgress) {
  RecordingTaskbarProgress taskbar;
  TaskbarRunIndicator indicator(taskbar);
  EXPECT_THAT(WholeRun(indicator, taskbar, 3, kUpdateDone, true),
              ElementsAre("clear", "range 3", "position 1", "position 2", "position 3", "clear"));
}

struct EndCase {
  const char16_t* lastStatus;
  bool windowInFront;
  std::vector<std::string> end;  // the calls after the last block
};

TEST(TaskbarRunIndicatorTest, TheEndOfARunShowsItsOutcomeAndFlashesWhenNotInFront) {
  const EndCase cases[] = {
      {kUpdateDone, true, {"clear"}},
      {kUpdateDone, false, {"clear", "flash"}},
      {kUpdateFailed, true, {"error"}},
      {kUpdateFailed, false, {"error", "flash"}},
      {kConnectWatch, false, {"error", "flash"}},
      {kWatchSilent, true, {"error"}},
      {kPortUnavailable, true, {"error"}},
      {kImageDownloadFailed, true, {"error"}},
      {kImageWrongSize, true, {"error"}},
      {kNoUpdateData, true, {"error"}},
      // Said no to a weak battery: nothing went wrong, nothing was written.
      {u"", true, {"clear"}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const EndCase& c = cases[i];
    RecordingTaskbarProgress taskbar;
    TaskbarRunIndicator indicator(taskbar);
    std::vector<std::string> calls = WholeRun(indicator, taskbar, 1, c.lastStatus, c.windowInFront);
    std::vector<std::string> expected = {"clear", "range 1", "position 1"};
    expected.insert(expected.end(), c.end.begin(), c.end.end());
    EXPECT_EQ(calls, expected) << "case " << i;
  }
}

TEST(TaskbarRunIndicatorTest, TheNextRunClearsTheErrorBeforeItCounts) {
  RecordingTaskbarProgress taskbar;
  TaskbarRunIndicator indicator(taskbar);
  WholeRun(indicator, taskbar, 2, kUpdateFailed, true);
  taskbar.calls.clear();
  indicator.RunStarted();
  indicator.RangeSet(2);
  EXPECT_THAT(taskbar.calls, ElementsAre("clear", "range 2"));
}

}  // namespace
}  // namespace kestrune
