// The line's timing, checked on fixed time points rather than a clock.
#include "tools/dive_watch_sim/line_schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using TimePoint = LineSchedule::Clock::time_point;

const TimePoint kStart = TimePoint{} + 1000s;

struct Handover {
  std::chrono::nanoseconds at;  // after kStart
  std::size_t count;
  std::chrono::nanoseconds crossed;  // after kStart
};

struct ScheduleCase {
  const char* name;
  std::uint32_t baud;
  std::vector<Handover> handovers;
};

TEST(LineScheduleTest, BytesCrossOneAfterAnotherAtTenBitTimesEach) {
  const ScheduleCase cases[] = {
      {"one byte at 9600 baud takes 10/9600 s", 9600, {{0ns, 1, 1'041'666ns}}},
      {"a frame at 115200 baud", 115200, {{0ns, 40, 3'472'222ns}}},
      {"bytes handed over while the line is busy queue behind it",
       9600,
       {{0ns, 40, 41'666'666ns}, {1ms, 40, 83'333'333ns}}},
      {"after an idle gap the line starts afresh",
       9600,
       {{0ns, 1, 1'041'666ns}, {10ms, 1, 11'041'666ns}}},
      {"a handover exactly when the line goes idle starts afresh",
       10000,
       {{0ns, 1, 1ms}, {1ms, 2, 3ms}}},
      {"a long busy spell does not accumulate rounding: 9600 bytes take 10 s",
       9600,
       {{0ns, 4800, 5s}, {0ns, 4799, 9'998'958'333ns}, {0ns, 1, 10s}}},
  };
  for (const ScheduleCase& c : cases) {
    LineSchedule line(c.baud);
    for (const Handover& h : c.handovers) {
      EXPECT_EQ(line.Carry(kStart + h.at, h.count) - kStart, h.crossed) << c.name;
    }
  }
}

}  // namespace
}  // namespace kestrune
