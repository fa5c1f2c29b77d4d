// The offline downloader: what an earlier download saved stands for the
// body, checked as a download's body is, and never changed. Natively and
// under Wine.
#include "update/offline_downloader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "testing/temp_folder.h"
#include "testing/whole_file.h"
#include "update/manifest_fetch.h"
#include "update/user_data_folder.h"
#ifndef _WIN32
#include "testing/temp_home.h"
#endif

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

// Nothing listens there; a downloader that went to the network would fail.
constexpr char16_t kUnreachable[] = u"https://localhost:1/files/1-00008000.bin";

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 13 + 7);
  return bytes;
}

struct SavedImageCase {
  const char* name;
  std::optional<std::size_t> saved;  // none: no file at the target
  std::uint64_t maxBytes;
  bool ok;
  bool tooLarge;
  const char* why;  // in the error text; empty for none
};

void PrintTo(const SavedImageCase& c, std::ostream* out) { *out << c.name; }

class OfflineImageTest : public testing::TestWithParam<SavedImageCase> {};

TEST_P(OfflineImageTest, TheSavedFileIsTheBody) {
  const SavedImageCase& c = GetParam();
  TempFolder folder("offline");
  const fs::path target = folder.path() / "data1.bin";
  if (c.saved) WriteWholeFile(target, Pattern(*c.saved));
  DownloadLimits limits;
  limits.maxBytes = c.maxBytes;

  const DownloadResult result =
      OfflineDownloader().Download(kUnreachable, target.u16string(), limits);

  EXPECT_EQ(result.ok, c.ok);
  EXPECT_EQ(result.tooLarge, c.tooLarge);
  EXPECT_TRUE(result.fromSavedFile);
  EXPECT_EQ(result.bytes, c.saved.value_or(0));
  EXPECT_EQ(result.httpStatus, 0);
  if (*c.why == '\0') {
    EXPECT_EQ(result.errorText, "");
  } else {
    EXPECT_NE(result.errorText.find(c.why), std::string::npos) << result.errorText;
    // The log says which file.
    EXPECT_NE(result.errorText.find("data1.bin"), std::string::npos) << result.errorText;
  }
  EXPECT_EQ(result.Describe().rfind("offline, saved file, ", 0), 0u) << result.Describe();
  // The saved file is left exactly as it was, or still absent.
  if (c.saved) {
    EXPECT_EQ(ReadWholeFile(target), Pattern(*c.saved));
  } else {
    EXPECT_FALSE(fs::exists(target));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()),
            c.saved ? 1 : 0);
}

// A file shorter than the manifest's size passes here, as a short body
// does: the run's size check of what it reads refuses it.
INSTANTIATE_TEST_SUITE_P(
    Saved, OfflineImageTest,
    testing::Values(SavedImageCase{"PresentAndRight", 4096, 4096, true, false, ""},
                    SavedImageCase{"Missing", std::nullopt, 4096, false, false, "no saved file"},
                    SavedImageCase{"Short", 4095, 4096, true, false, ""},
                    SavedImageCase{"Long", 4097, 4096, false, true, "is longer than 4096 bytes"},
                    SavedImageCase{"Empty", 0, 4096, true, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OfflineDownloaderTest, AFileTheCallerRefusesIsNoBody) {
  TempFolder folder("offline");
  const fs::path target = folder.path() / "data1.bin";
  WriteWholeFile(target, Pattern(100));
  DownloadLimits limits;
  std::string judged;
  limits.acceptBody = [&](const std::string& body) {
    judged = body;
    return false;
  };
  const DownloadResult result =
      OfflineDownloader().Download(kUnreachable, target.u16string(), limits);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(judged, Pattern(100));
  EXPECT_NE(result.errorText.find("not accepted"), std::string::npos) << result.errorText;
  EXPECT_EQ(ReadWholeFile(target), Pattern(100));
}

// features.json in the user data folder: a fresh temporary home natively;
// under Wine the prefix's own folder, whose file is put back afterwards.
class SavedManifestTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::path(UserDataFilePath(u"features.json"));
    ASSERT_FALSE(path_.empty());
    if (fs::exists(path_)) kept_ = ReadWholeFile(path_);
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove(path_, ignored);
    if (kept_) WriteWholeFile(path_, *kept_);
  }

#ifndef _WIN32
  testing_support::TempHome home_;
#endif
  fs::path path_;
  std::optional<std::string> kept_;
};

std::string UsableManifest() {
  return "{\"response\":{\"firmware_version\":\"2.418\",\"release_note\":\"Saved earlier; "
         "the watch is updated from what is on disk.\",\"firmware_files\":[{\"size\":4096,"
         "\"sequence\":1,\"file_path\":\"https://localhost:8443/files/1-00008000.bin\","
         "\"address\":32768}]},\"padding\":\"" +
         std::string(100, '.') + "\"}";
}

TEST_F(SavedManifestTest, ServesTheSavedManifest) {
  WriteWholeFile(path_, UsableManifest());
  DownloadResult result;
  EXPECT_EQ(FetchManifestText(SavedFilesDownloader(), {}, &result), UsableManifest());
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytes, UsableManifest().size());
  EXPECT_EQ(ReadWholeFile(path_), UsableManifest());
}

TEST_F(SavedManifestTest, NoSavedManifestGivesNoText) {
  DownloadResult result;
  EXPECT_EQ(FetchManifestText(SavedFilesDownloader(), {}, &result), "");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.errorText.find("features.json"), std::string::npos) << result.errorText;
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SavedManifestTest, AnUnusableSavedManifestIsSaidToBeOne) {
  WriteWholeFile(path_, std::string(300, 'x'));
  DownloadResult result;
  // The text is handed on as it is; the manifest rule then refuses it.
  EXPECT_EQ(FetchManifestText(SavedFilesDownloader(), {}, &result), std::string(300, 'x'));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.errorText, "not a usable manifest");
  EXPECT_EQ(ReadWholeFile(path_), std::string(300, 'x'));
}

}  // namespace
}  // namespace kestrune
