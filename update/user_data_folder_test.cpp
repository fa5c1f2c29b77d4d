#include "update/user_data_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "testing/scoped_environment_variable.h"
#include "testing/temp_home.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing_support::ScopedEnvironmentVariable;
using testing_support::TempHome;

struct FolderCase {
  const char* name;
  const char* userDirs;  // content of ~/.config/user-dirs.dirs, or null
  const char* expected;  // below HOME
};

// Test names and failure messages show the case by its name.
void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class UserDataFolderTest : public testing::TestWithParam<FolderCase> {};

TEST_P(UserDataFolderTest, ResolvesAndCreatesTheFolder) {
  TempHome home;
  const FolderCase& c = GetParam();
  if (c.userDirs != nullptr) {
    fs::create_directories(home.Path() / ".config");
    std::ofstream(home.Path() / ".config" / "user-dirs.dirs") << c.userDirs;
  }
  const std::u16string folder = GetUserDataFolder(kUserDataFolderName);
  const fs::path expected = home.Path() / fs::u8path(c.expected);
  EXPECT_EQ(fs::u8path(WideToUtf8Text(folder)), expected);
  EXPECT_TRUE(fs::is_directory(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UserDataFolderTest,
    testing::Values(FolderCase{"NoConfiguration", nullptr, "Documents/orvel kestrune"},
                    FolderCase{"LocalisedDocuments",
                               "# written by xdg-user-dirs-update\n"
                               "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                               "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente \xC3\xA9\"\n",
                               "Dokumente \xC3\xA9/orvel kestrune"},
                    FolderCase{
                        "LastAssignmentWins",
                        "XDG_DOCUMENTS_DIR=\"$HOME/first\"\nXDG_DOCUMENTS_DIR=\"$HOME/second/\"\n",
                        "second/orvel kestrune"},
                    FolderCase{"CommentedLineIgnored", "#XDG_DOCUMENTS_DIR=\"$HOME/commented\"\n",
                               "Documents/orvel kestrune"},
                    FolderCase{"RelativePathIgnored", "XDG_DOCUMENTS_DIR=\"relative\"\n",
                               "Documents/orvel kestrune"},
                    FolderCase{"HomeItself", "XDG_DOCUMENTS_DIR=\"$HOME\"\n", "orvel kestrune"}),
    [](const testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

TEST(UserDataFolderConfigTest, AbsolutePathFromXdgConfigHome) {
  TempHome home;
  const fs::path config = home.Path() / "elsewhere";
  fs::create_directories(config);
  const fs::path documents = home.Path() / "abs docs";
  std::ofstream(config / "user-dirs.dirs")
      << "XDG_DOCUMENTS_DIR=\"" << documents.string() << "\"\n";
  const ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", config.string());
  EXPECT_EQ(fs::u8path(WideToUtf8Text(GetUserDataFolder(u"orvel kestrune"))),
            documents / "orvel kestrune");
}

TEST(UserDataFolderConfigTest, ExistingFolderAndItsFilesAreKept) {
  TempHome home;
  fs::create_directories(home.DataFolder());
  std::ofstream(home.DataFolder() / "features.json") << "kept";
  EXPECT_EQ(fs::u8path(WideToUtf8Text(GetUserDataFolder(u"orvel kestrune"))), home.DataFolder());
  EXPECT_TRUE(fs::exists(home.DataFolder() / "features.json"));
}

TEST(UserDataFolderConfigTest, NoHomeGivesEmptyPath) {
  TempHome home;
  ::unsetenv("HOME");
  EXPECT_TRUE(GetUserDataFolder(u"orvel kestrune").empty());
}

}  // namespace
}  // namespace kestrune
