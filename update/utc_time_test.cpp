#include "update/utc_time.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(IsoUtcTime, MillisecondsSinceTheEpochAsIsoUtc) {
  const struct {
    long long millis;
    const char* expected;
  } cases[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {1796984659123, "2026-12-11T10:24:19.123Z"},
      {951782400000, "2000-02-29T00:00:00.000Z"},   // a leap day of a century year
      {4107542399999, "2100-02-28T23:59:59.999Z"},  // 2100 has no 29 February
      {-1, "1969-12-31T23:59:59.999Z"},
  };
  for (const auto& c : cases) {
    const std::chrono::system_clock::time_point when{
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::milliseconds(c.millis))};
    EXPECT_EQ(IsoUtcTime(when), c.expected) << c.millis;
  }
}

}  // namespace
}  // namespace kestrune
