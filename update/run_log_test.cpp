#include "update/run_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "testing/temp_folder.h"
#include "testing/whole_file.h"

namespace kestrune {
namespace {
namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;

void SetTimeZone(const char* zone) {
#ifdef _WIN32
  _putenv_s("TZ", zone);
  _tzset();
#else
  setenv("TZ", zone, 1);
  tzset();
#endif
}

class RunLogFolder : public testing::Test {
 protected:
  TempFolder folder_{"runlog"};
  const fs::path dir_ = folder_.path();
};

// "2026-12-10T17:30:00.250+05:30": digits where the pattern has 9, the
// offset's sign where it has +.
bool IsTimestamp(const std::string& text) {
  const std::string pattern = "9999-99-99T99:99:99.999+99:99";
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char want = pattern[i];
    const char got = text[i];
    if (want == '9'   ? !(got >= '0' && got <= '9')
        : want == '+' ? !(got == '+' || got == '-')
                      : got != want) {
      return false;
    }
  }
  return true;
}

// 2026-12-10 12:00:00.250 UTC.
const std::chrono::system_clock::time_point kNoonUtc =
    std::chrono::system_clock::from_time_t(1796904000) + std::chrono::milliseconds(250);

TEST(RunLogTimestamp, LocalTimeCarriesItsOffsetEastAndWestOfUtc) {
  struct {
    const char* zone;
    const char* expected;
  } cases[] = {
      {"IST-5:30", "2026-12-10T17:30:00.250+05:30"},
      {"EST+5", "2026-12-10T07:00:00.250-05:00"},
      {"UTC0", "2026-12-10T12:00:00.250+00:00"},
  };
  for (const auto& c : cases) {
    SetTimeZone(c.zone);
    EXPECT_EQ(LocalTimestamp(kNoonUtc), c.expected) << c.zone;
  }
}

TEST_F(RunLogFolder, EachWriteIsOneTimestampedLine) {
  RunLog log((dir_ / "update.log").u16string());
  log.Write("update: status 更新錯誤");
  log.Write("two\nlines\r\nbecome one");

  std::istringstream lines(ReadWholeFile(dir_ / "update.log"));
  const std::string expected[] = {" update: status 更新錯誤", " two lines  become one"};
  std::string line;
  for (const std::string& message : expected) {
    ASSERT_TRUE(std::getline(lines, line));
    const std::size_t stamp = line.find(' ');
    ASSERT_NE(stamp, std::string::npos) << line;
    EXPECT_TRUE(IsTimestamp(line.substr(0, stamp))) << line;
    EXPECT_EQ(line.substr(stamp), message);
  }
  EXPECT_FALSE(std::getline(lines, line)) << "one line per write";
}

TEST_F(RunLogFolder, AFullLogMovesToItsOlderHalfAndANewOneBegins) {
  const fs::path file = dir_ / "update.log";
  const std::uint64_t cap = 300;
  RunLog log(file.u16string(), cap);
  for (int i = 0; i < 12; ++i) log.Write("event number " + std::to_string(i));

  const std::string current = ReadWholeFile(file);
  const std::string older = ReadWholeFile(dir_ / "update.log.1");
  EXPECT_LE(fs::file_size(file), cap);
  EXPECT_LE(fs::file_size(dir_ / "update.log.1"), cap);
  // The newest line is in the current file, the one before the rotation in
  // the older half, and no line is split between them.
  EXPECT_NE(current.find("event number 11\n"), std::string::npos) << current;
  const std::size_t firstInCurrent = current.find("event number ");
  ASSERT_NE(firstInCurrent, std::string::npos);
  const int first = std::stoi(current.substr(firstInCurrent + 13));
  EXPECT_NE(older.find("event number " + std::to_string(first - 1) + "\n"), std::string::npos)
      << older;
}

TEST_F(RunLogFolder, ALogThatCannotBeWrittenIsSkippedQuietly) {
  RunLog log((dir_ / "missing folder" / "update.log").u16string());
  EXPECT_NO_THROW(log.Write("nobody reads this"));
  EXPECT_FALSE(fs::exists(dir_ / "missing folder"));
  RunLog none(u"");
  EXPECT_NO_THROW(none.Write("nor this"));
}

}  // namespace
}  // namespace kestrune
