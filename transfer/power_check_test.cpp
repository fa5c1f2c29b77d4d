// The power check's arithmetic and rule: the writing's time from the line's
// speed, the battery judged against it, and Windows's power answers read.
#include "transfer/power_check.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {
using namespace std::chrono_literals;

TEST(PowerCheck, WritingTimeIsTheLineTimeOfEveryBlock) {
  // 130 frames of 40 bytes a block at 960 bytes a second: 5.4167 s.
  const struct {
    std::uint32_t blocks;
    bool readBack;
    std::chrono::milliseconds expected;
  } cases[] = {
      {0, false, 0ms},         {1, false, 5417ms}, {3, false, 16250ms},
      {256, false, 1386667ms}, {3, true, 32500ms}, {0xFFFFFFFFu, false, 23264406181250ms},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EstimatedWritingTime(c.blocks, c.readBack), c.expected)
        << c.blocks << " blocks, read back " << c.readBack;
  }
}

PowerStatus Battery(std::optional<double> percent, std::optional<std::chrono::seconds> left) {
  return PowerStatus{true, true, percent, left};
}

TEST(PowerCheck, OnlyAWeakBatteryStopsTheWriting) {
  const std::chrono::milliseconds writing = 10min;
  const struct {
    const char* what;
    PowerStatus status;
    PowerVerdict expected;
  } cases[] = {
      {"nothing known", PowerStatus{}, PowerVerdict::kGoOn},
      {"on the charger, battery low", PowerStatus{true, false, 5.0, 60s}, PowerVerdict::kGoOn},
      {"battery 80 %, hours left", Battery(80.0, 5h), PowerVerdict::kGoOn},
      {"battery 25 % exactly, time enough", Battery(25.0, 1h), PowerVerdict::kGoOn},
      {"battery 24.9 %", Battery(24.9, 1h), PowerVerdict::kBatteryLow},
      {"battery 20 %, no estimate", Battery(20.0, std::nullopt), PowerVerdict::kBatteryLow},
      {"battery 90 %, less than twice the writing left", Battery(90.0, 19min + 59s),
       PowerVerdict::kTooLittleTimeLeft},
      {"battery 90 %, twice the writing left", Battery(90.0, 20min), PowerVerdict::kGoOn},
      {"on battery, no percent, no estimate", Battery(std::nullopt, std::nullopt),
       PowerVerdict::kGoOn},
      {"on battery, no percent, little time", Battery(std::nullopt, 5min),
       PowerVerdict::kTooLittleTimeLeft},
  };
  for (const auto& c : cases) EXPECT_EQ(JudgePower(c.status, writing), c.expected) << c.what;
}

TEST(PowerCheck, WindowsPowerAnswersAreReadAsTheSystemMeansThem) {
  const struct {
    const char* what;
    unsigned ac, flag, percent;
    unsigned long lifeTime;
    PowerStatus expected;
  } cases[] = {
      {"on the charger", 1, 8, 40, 0xFFFFFFFFul, PowerStatus{true, false, {}, {}}},
      {"on battery, all known", 0, 2, 18, 720, Battery(18.0, 720s)},
      {"on battery, time not known", 0, 1, 80, 0xFFFFFFFFul, Battery(80.0, std::nullopt)},
      {"on battery, percent not known", 0, 1, 255, 600, Battery(std::nullopt, 600s)},
      {"line status unknown", 255, 1, 10, 60, PowerStatus{}},
      {"off the line but no battery", 0, 128, 255, 0xFFFFFFFFul, PowerStatus{}},
      {"battery state unknown", 0, 255, 255, 0xFFFFFFFFul, PowerStatus{}},
  };
  for (const auto& c : cases) {
    const PowerStatus status =
        PowerStatusFromSystemPowerStatus(c.ac, c.flag, c.percent, c.lifeTime);
    EXPECT_EQ(status.known, c.expected.known) << c.what;
    EXPECT_EQ(status.onBattery, c.expected.onBattery) << c.what;
    EXPECT_EQ(status.percent, c.expected.percent) << c.what;
    EXPECT_EQ(status.timeLeft, c.expected.timeLeft) << c.what;
  }
}

TEST(PowerCheck, ShortageIsDescribedForTheLogAndTheUser) {
  EXPECT_EQ(DescribePowerShortage({Battery(18.0, 720s), 54, 293s, PowerVerdict::kBatteryLow}),
            "on battery, 18 %, 12:00 left; the writing takes about 4:53 (54 blocks): battery "
            "below 25 %");
  EXPECT_EQ(ClockText(3600s + 61s + 1ms), "1:01:02");
}

}  // namespace
}  // namespace kestrune
