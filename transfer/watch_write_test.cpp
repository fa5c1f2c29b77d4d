// The span of writing each watch: the process's count of watches being
// written, which holds the sleep block while it is above zero.
#include "transfer/watch_write.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/recording_firmware_update_reporter.h"
#include "transfer/close_gate.h"

namespace kestrune {
namespace {
using testing_support::RecordingFirmwareUpdateReporter;
using Kind = RecordingFirmwareUpdateReporter::Kind;

TEST(WritingSpan, TheSleepHoldLastsWhileAnyWatchIsBeingWritten) {
  RecordingFirmwareUpdateReporter first, second, third;
  CloseGate closing;
  ASSERT_TRUE(closing.RequestClose());
  WritingSpan a(first, nullptr), b(second, nullptr), refused(third, &closing);
  EXPECT_EQ(WatchesBeingWritten(), 0);
  EXPECT_TRUE(a.Begin());
  EXPECT_TRUE(b.Begin());
  EXPECT_TRUE(a.Begin());  // once per span, however often asked
  EXPECT_EQ(WatchesBeingWritten(), 2);
  // A watch whose front-end decided a close first never counts.
  EXPECT_FALSE(refused.Begin());
  EXPECT_EQ(WatchesBeingWritten(), 2);
  a.End();
  EXPECT_EQ(WatchesBeingWritten(), 1);
  a.End();  // a second end changes nothing
  EXPECT_EQ(WatchesBeingWritten(), 1);
  {
    WritingSpan c(first, nullptr);
    EXPECT_TRUE(c.Begin());
    EXPECT_EQ(WatchesBeingWritten(), 2);
  }  // a span that goes away ends its writing
  EXPECT_EQ(WatchesBeingWritten(), 1);
  b.End();
  EXPECT_EQ(WatchesBeingWritten(), 0);
  // Each reporter heard its own writing begin and end.
  EXPECT_EQ(second.Values(Kind::Writing), (std::vector<std::uint32_t>{1, 0}));
  EXPECT_TRUE(third.Values(Kind::Writing).empty());
}

}  // namespace
}  // namespace kestrune
