// The update check in the Windows build under Wine: WinINet, the prefix's
// Documents folder, and the reference service on localhost:8443 started
// around this program by tools/update_service/with-update-service.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testing/recording_update_check_reporter.h"
#include "testing/whole_file.h"
#include "update/downloader.h"
#include "update/format_path.h"
#include "update/update_check.h"
#include "update/user_data_folder.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::RecordingUpdateCheckReporter;
using testing_support::WriteWholeFile;

// Puts back whatever features.json the prefix held before the test.
class KeepFile {
 public:
  explicit KeepFile(fs::path path) : path_(std::move(path)) {
    if (fs::exists(path_)) saved_ = ReadWholeFile(path_);
  }
  ~KeepFile() {
    if (saved_) {
      WriteWholeFile(path_, *saved_);
    } else {
      std::error_code ignored;
      fs::remove(path_, ignored);
    }
  }

 private:
  fs::path path_;
  std::optional<std::string> saved_;
};

TEST(UpdateCheckWinTest, FolderIsBelowDocumentsWithBackslashes) {
  const std::u16string folder = GetUserDataFolder(kUserDataFolderName);
  ASSERT_FALSE(folder.empty());
  const std::u16string suffix = u"\\Documents\\orvel kestrune";
  ASSERT_GE(folder.size(), suffix.size());
  EXPECT_EQ(folder.substr(folder.size() - suffix.size()), suffix);
  EXPECT_TRUE(fs::is_directory(fs::path(folder)));
  char16_t path[kPathBufferUnits] = {};
  ASSERT_TRUE(FormatPath(path, u"%s\\data%d.bin", folder.c_str(), 2));
  EXPECT_EQ(std::u16string(path), folder + u"\\data2.bin");
}

TEST(UpdateCheckWinTest, ShowsTheServicesManifest) {
  const fs::path cache = fs::path(GetUserDataFolder(kUserDataFolderName)) / "features.json";
  KeepFile keep(cache);
  std::error_code ignored;
  fs::remove(cache, ignored);
  RecordingUpdateCheckReporter reporter;
  RunUpdateCheckProcedure(reporter, PlatformDownloader());
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::u16string>{kFetchingUpdateData, kUpdateDataFetched}));
  EXPECT_EQ(reporter.versions, std::vector<std::u16string>{u"1.006"});
  ASSERT_EQ(reporter.notes.size(), 1u);
  EXPECT_EQ(reporter.notes[0].substr(0, 17), u"1. 改善潛水記錄同步速度\r\n2.");
  ASSERT_EQ(reporter.stored.size(), 1u);
  EXPECT_GT(reporter.stored[0].size(), 256u);
  EXPECT_EQ(ReadWholeFile(cache), reporter.stored[0]);
}

// Run with the service answering the manifest request faultily (an empty or
// 204 answer, a maintenance page, a chunked body cut off, a stall): the
// cached manifest stays byte for byte and is what the check shows.
TEST(UpdateCheckWinFaultTest, KeepsTheCachedManifestByteForByte) {
  const fs::path folder(GetUserDataFolder(kUserDataFolderName));
  const fs::path cache = folder / "features.json";
  KeepFile keep(cache);
  const std::string cached =
      "{\"response\":{\"firmware_version\":\"1.003\",\"release_note\":\"cached\"},\"pad\":\"" +
      std::string(300, ' ') + "\"}";
  WriteWholeFile(cache, cached);
  RecordingUpdateCheckReporter reporter;
  DownloadLimits limits;
  limits.stallTimeout = std::chrono::milliseconds(2000);
  RunUpdateCheckProcedure(reporter, PlatformDownloader(), limits);
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::u16string>{kFetchingUpdateData, kUpdateDataFetched}));
  EXPECT_EQ(reporter.versions, std::vector<std::u16string>{u"1.003"});
  EXPECT_EQ(reporter.stored, std::vector<std::string>{cached});
  EXPECT_EQ(ReadWholeFile(cache), cached);
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find("features.json.part-"), std::string::npos) << "left behind: " << name;
  }
}

}  // namespace
}  // namespace kestrune
