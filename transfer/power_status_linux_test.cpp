// The power read from UPower as python3-dbusmock's upower template serves
// it on a private system bus, and the check before the first block that
// acts on it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/child_program.h"
#include "testing/scoped_environment_variable.h"
#include "transfer/power_check.h"
#include "transfer/power_status.h"

namespace kestrune {
namespace {
using namespace std::chrono_literals;
using testing_support::ChildProgram;
using testing_support::ScopedEnvironmentVariable;

// A private system bus as tools/upower_mock/upower-mock sets it up, the
// programs' system bus for the life of the object.
class UPowerOnPrivateBus {
 public:
  explicit UPowerOnPrivateBus(std::vector<std::string> arguments)
      : mock_(WithProgram(std::move(arguments))),
        bus_("DBUS_SYSTEM_BUS_ADDRESS", mock_.FirstLine()) {}

 private:
  static std::vector<std::string> WithProgram(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), KESTRUNE_UPOWER_MOCK);
    return arguments;
  }
  ChildProgram mock_;
  ScopedEnvironmentVariable bus_;
};

TEST(PowerStatusLinux, ALaptopOnBatteryGivesChargeAndTimeLeft) {
  UPowerOnPrivateBus upower({"--battery", "18.5", "720"});
  const PowerStatus status = ReadPowerStatus();
  EXPECT_TRUE(status.known);
  EXPECT_TRUE(status.onBattery);
  EXPECT_EQ(status.percent, 18.5);
  EXPECT_EQ(status.timeLeft, 720s);
}

TEST(PowerStatusLinux, ALaptopOnTheChargerIsNotOnBattery) {
  UPowerOnPrivateBus upower({"--charger"});
  const PowerStatus status = ReadPowerStatus();
  EXPECT_TRUE(status.known);
  EXPECT_FALSE(status.onBattery);
}

TEST(PowerStatusLinux, ADesktopWithoutBatteryIsOnMains) {
  UPowerOnPrivateBus upower({"--desktop"});
  const PowerStatus status = ReadPowerStatus();
  EXPECT_TRUE(status.known);
  EXPECT_FALSE(status.onBattery);
  EXPECT_FALSE(status.percent);
}

TEST(PowerStatusLinux, NoUPowerOrNoBusMeansNothingKnown) {
  {
    UPowerOnPrivateBus busAlone({"--no-upower"});
    EXPECT_FALSE(ReadPowerStatus().known);
  }
  ScopedEnvironmentVariable noBus("DBUS_SYSTEM_BUS_ADDRESS",
                                  "unix:path=/tmp/kestrune-no-such-bus/socket");
  EXPECT_FALSE(ReadPowerStatus().known);
}

// Records the run log's notes besides the reports.
class NoteRecorder : public FirmwareUpdateReporter {
 public:
  void PostStatus(const std::u16string&) override {}
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPosition(std::uint32_t) override {}
  void SetWriting(bool) override {}
  void Note(const std::string& detail) override { notes.push_back(detail); }
  std::vector<std::string> notes;
};

// An environment whose question records what it was asked and answers
// `goOn`.
struct AskingEnvironment {
  explicit AskingEnvironment(bool goOn)
      : environment(PlatformUpdateEnvironment("power_status_linux_test")) {
    environment.goOnWithWeakBattery = [this, goOn](const PowerShortage& shortage) {
      asked.push_back(shortage);
      return goOn;
    };
  }
  UpdateEnvironment environment;
  std::vector<PowerShortage> asked;
};

TEST(PowerCheckBeforeWriting, AWeakBatteryIsAskedAboutAndANoStopsTheRun) {
  UPowerOnPrivateBus upower({"--battery", "10", "3600"});
  NoteRecorder reporter;
  AskingEnvironment no(false);
  EXPECT_EQ(CheckPowerBeforeWriting(reporter, no.environment, 3), RunOutcome::kPowerLow);
  ASSERT_EQ(no.asked.size(), 1u);
  EXPECT_EQ(no.asked[0].verdict, PowerVerdict::kBatteryLow);
  EXPECT_EQ(no.asked[0].writing, 16250ms);
  ASSERT_EQ(reporter.notes.size(), 2u);
  EXPECT_EQ(reporter.notes[0],
            "power: on battery, 10 %, 1:00:00 left; the writing takes about 0:17 (3 blocks): "
            "battery below 25 %; asking whether to go on");
  EXPECT_EQ(reporter.notes[1], "power: not going on with the battery this weak; nothing written");

  AskingEnvironment yes(true);
  EXPECT_EQ(CheckPowerBeforeWriting(reporter, yes.environment, 3), RunOutcome::kDone);
  EXPECT_EQ(yes.asked.size(), 1u);
  EXPECT_EQ(reporter.notes.back(), "power: going on regardless");
}

TEST(PowerCheckBeforeWriting, TooLittleTimeForTwiceTheWritingIsAskedAbout) {
  // 80 %, but 100 blocks take 9:02 and 15 minutes are left.
  UPowerOnPrivateBus upower({"--battery", "80", "900"});
  NoteRecorder reporter;
  AskingEnvironment no(false);
  EXPECT_EQ(CheckPowerBeforeWriting(reporter, no.environment, 100), RunOutcome::kPowerLow);
  ASSERT_EQ(no.asked.size(), 1u);
  EXPECT_EQ(no.asked[0].verdict, PowerVerdict::kTooLittleTimeLeft);
  // With twice the time left the same writing goes on unasked.
  AskingEnvironment fewer(false);
  EXPECT_EQ(CheckPowerBeforeWriting(reporter, fewer.environment, 80), RunOutcome::kDone);
  EXPECT_TRUE(fewer.asked.empty());
}

TEST(PowerCheckBeforeWriting, OnTheChargerOrWithoutUPowerNobodyIsAsked) {
  for (const char* mode : {"--charger", "--no-upower"}) {
    UPowerOnPrivateBus upower({mode});
    NoteRecorder reporter;
    AskingEnvironment no(false);
    EXPECT_EQ(CheckPowerBeforeWriting(reporter, no.environment, 500), RunOutcome::kDone) << mode;
    EXPECT_TRUE(no.asked.empty()) << mode;
    ASSERT_EQ(reporter.notes.size(), 1u) << mode;
    EXPECT_EQ(reporter.notes[0].rfind("power: ", 0), 0u) << reporter.notes[0];
  }
}

}  // namespace
}  // namespace kestrune
