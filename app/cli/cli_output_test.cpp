#include "app/cli/cli_output.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(CliJson, StringsAreEscapedAndUtf8PassesUnchanged) {
  EXPECT_EQ(JsonString("更新完成"), "\"更新完成\"");
  EXPECT_EQ(JsonString("a \"b\" \\ c\nd\te\x01"), "\"a \\\"b\\\" \\\\ c\\nd\\te\\u0001\"");
}

TEST(CliProgress, LineShowsBlocksPercentRateAndTimeLeft) {
  using std::chrono::milliseconds;
  // 4 blocks of 4 KiB in 2 s since the first: 8 KiB/s; 12 left take 6 s.
  EXPECT_EQ(ProgressLine(5, 17, 1, milliseconds(2000)), "5/17 blocks   29%  8.0 KiB/s  0:06 left");
  EXPECT_EQ(ProgressLine(17, 17, 1, milliseconds(8000)),
            "17/17 blocks  100%  8.0 KiB/s  0:00 left");
  // Nothing timed yet: no rate is guessed.
  EXPECT_EQ(ProgressLine(1, 4, 1, milliseconds(0)), "1/4 blocks   25%");
  EXPECT_EQ(ProgressLine(0, 0, 0, milliseconds(0)), "0/0 blocks  100%");
}

}  // namespace
}  // namespace kestrune
