// The update check in the Windows build under Wine: WinINet, the prefix's
// Documents folder, and the reference service on localhost:8443 started
// around this program by tools/update_service/with-update-service.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "update/downloader.h"
#include "update/format_path.h"
#include "update/update_check.h"
#include "update/user_data_folder.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

class RecordingReporter : public UpdateCheckReporter {
 public:
  void PostStatus(const std::u16string& text) override { statuses.push_back(text); }
  void StoreManifestText(const std::string& text) override { stored = text; }
  void ShowFirmwareVersion(const std::u16string& v) override { versions.push_back(v); }
  void ShowReleaseNotes(const std::u16string& n) override { notes.push_back(n); }

  std::vector<std::u16string> statuses;
  std::string stored;
  std::vector<std::u16string> versions;
  std::vector<std::u16string> notes;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Puts back whatever features.json the prefix held before the test.
class KeepFile {
 public:
  explicit KeepFile(fs::path path) : path_(std::move(path)) {
    if (fs::exists(path_)) saved_ = ReadAll(path_);
  }
  ~KeepFile() {
    if (saved_) {
      std::ofstream(path_, std::ios::binary) << *saved_;
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
  RecordingReporter reporter;
  RunUpdateCheckProcedure(reporter, PlatformDownloader());
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::u16string>{u"正在取得更新資料", u"已取得更新資料"}));
  EXPECT_EQ(reporter.versions, std::vector<std::u16string>{u"1.006"});
  ASSERT_EQ(reporter.notes.size(), 1u);
  EXPECT_EQ(reporter.notes[0].substr(0, 17), u"1. 改善潛水記錄同步速度\r\n2.");
  EXPECT_GT(reporter.stored.size(), 256u);
  EXPECT_EQ(ReadAll(cache), reporter.stored);
}

}  // namespace
}  // namespace kestrune
