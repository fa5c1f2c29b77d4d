// The run log's lines of firmware updates, two watches interleaved.
#include "transfer/logged_firmware_update_reporter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "testing/recording_firmware_update_reporter.h"
#include "testing/temp_folder.h"
#include "testing/whole_file.h"

namespace kestrune {
namespace {
using testing_support::ReadWholeFile;
using testing_support::RecordingFirmwareUpdateReporter;
using testing_support::TempFolder;

// The log's lines without their time stamps.
std::vector<std::string> Messages(const std::string& text) {
  std::vector<std::string> messages;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    messages.push_back(line.substr(line.find(' ') + 1));
  return messages;
}

TEST(LoggedFirmwareUpdateReporter, EveryLineOfAWatchsRunCarriesItsTag) {
  TempFolder folder("tagged-log");
  RunLog log((folder.path() / "update.log").u16string());
  RecordingFirmwareUpdateReporter first, second;
  LoggedFirmwareUpdateReporter shared(first, log, "kestrune-test");
  LoggedFirmwareUpdateReporter a(first, log, "kestrune-test",
                                 WatchLogTag("52F0A1B2", "/dev/pts/3"));
  LoggedFirmwareUpdateReporter b(second, log, "kestrune-test", WatchLogTag("", "/dev/pts/4"));
  a.SetWriting(true);
  b.Note("opening /dev/pts/4");
  a.PostStatus(u"正在寫入更新檔");
  b.PostStatus(u"更新錯誤");
  a.SetWriting(false);

  const std::string platform = ProgramIdentity("kestrune-test");
  const std::vector<std::string> expected = {
      "update: start, " + platform,
      "update: [watch 52F0A1B2] start, " + platform,
      "update: [watch /dev/pts/4] start, " + platform,
      "update: [watch 52F0A1B2] writing the watch begins",
      "update: [watch /dev/pts/4] opening /dev/pts/4",
      "update: [watch 52F0A1B2] status 正在寫入更新檔",
      "update: [watch /dev/pts/4] status 更新錯誤",
      "update: [watch 52F0A1B2] writing the watch is over",
  };
  EXPECT_EQ(Messages(ReadWholeFile(folder.path() / "update.log")), expected);
  // The front-end hears the same, untagged.
  EXPECT_EQ(second.Statuses(), std::vector<std::u16string>{u"更新錯誤"});
}

}  // namespace
}  // namespace kestrune
