#include "app/cli/progress_rate.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/cli/cli_output.h"

namespace kestrune {
namespace {

using std::chrono::milliseconds;

// The rate and time left a line shows, on a clock the test moves: writing
// begins at each of `beginsMs` (the status before each image), then `done`
// of `total` blocks are written at `atMs`.
TEST(ProgressRate, CountsFromTheFirstBlocksStart) {
  struct Case {
    const char* name;
    std::vector<int> beginsMs;
    int atMs;
    std::uint32_t done, total;
    const char* line;
  };
  const Case cases[] = {
      // At 9600 baud a block takes about 5.4 s: after the first one the
      // rate is already there, about 0.75 KiB/s, and two blocks are left.
      {"FirstBlockAt9600Baud", {0}, 5450, 1, 3, "1/3 blocks   33%  0.7 KiB/s  0:11 left"},
      // 2 of 4 blocks in 10.9 s: 10.9 s are left, not 5.
      {"HalfwayAt9600Baud", {0}, 10900, 2, 4, "2/4 blocks   50%  0.7 KiB/s  0:11 left"},
      {"FiveOfSeventeen", {0}, 2500, 5, 17, "5/17 blocks   29%  8.0 KiB/s  0:06 left"},
      // Writing that began later than the clock's start counts from there.
      {"BeganLater", {3000}, 5000, 4, 17, "4/17 blocks   23%  8.0 KiB/s  0:07 left"},
      // The second image's start changes nothing.
      {"SecondImage", {0, 6000}, 8000, 3, 4, "3/4 blocks   75%  1.5 KiB/s  0:03 left"},
      {"AllWritten", {0}, 8000, 16, 16, "16/16 blocks  100%  8.0 KiB/s  0:00 left"},
      // Nothing to measure yet: no rate is guessed.
      {"NoBlockYet", {0}, 2000, 0, 4, "0/4 blocks    0%"},
      {"NoTimePassed", {500}, 500, 1, 4, "1/4 blocks   25%"},
      {"WritingNeverBegan", {}, 2000, 1, 4, "1/4 blocks   25%"},
      {"NothingToWrite", {}, 0, 0, 0, "0/0 blocks  100%"},
  };
  for (const Case& c : cases) {
    const ProgressRate::Clock::time_point start{};
    ProgressRate::Clock::time_point now = start;
    ProgressRate rate([&] { return now; });
    for (const int begin : c.beginsMs) {
      now = start + milliseconds(begin);
      rate.WritingBegins();
    }
    now = start + milliseconds(c.atMs);
    EXPECT_EQ(ProgressLine(c.done, c.total, rate.At(c.done, c.total)), c.line) << c.name;
  }
}

}  // namespace
}  // namespace kestrune
