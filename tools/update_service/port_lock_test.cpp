#include "tools/update_service/port_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "testing/temp_folder.h"
#include "testing/whole_file.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

class PortLockFolderTest : public testing::Test {
 protected:
  TempFolder temp_{"port-lock"};
  const fs::path locks_ = temp_.path() / "locks";
  const fs::path victim_ = temp_.path() / "victim";
};

TEST_F(PortLockFolderTest, MakesAPrivateFolderAndAPrivateLockFile) {
  { ScopedPortLock lock(8443, locks_.string()); }
  struct stat folder = {};
  struct stat file = {};
  ASSERT_EQ(::lstat(locks_.c_str(), &folder), 0);
  EXPECT_TRUE(S_ISDIR(folder.st_mode));
  EXPECT_EQ(folder.st_mode & 07777, 0700u);
  ASSERT_EQ(::lstat((locks_ / "port-8443.lock").c_str(), &file), 0);
  EXPECT_TRUE(S_ISREG(file.st_mode));
  EXPECT_EQ(file.st_mode & 077, 0u);
  // Taken again once free.
  EXPECT_NO_THROW(ScopedPortLock(8443, locks_.string()));
}

// What another user could have planted is refused, and what it points at
// is neither created nor changed.
TEST_F(PortLockFolderTest, PlantedLinksAndOpenFoldersAreRefused) {
  WriteWholeFile(victim_, "kept");
  fs::create_directory(locks_);
  fs::permissions(locks_, fs::perms::owner_all);
  fs::create_symlink(victim_, locks_ / "port-8443.lock");
  EXPECT_THROW(ScopedPortLock(8443, locks_.string()), std::system_error);
  EXPECT_EQ(ReadWholeFile(victim_), "kept");

  fs::create_symlink(temp_.path() / "elsewhere", locks_ / "port-8444.lock");
  EXPECT_THROW(ScopedPortLock(8444, locks_.string()), std::system_error);
  EXPECT_FALSE(fs::exists(temp_.path() / "elsewhere"));

  // The folder itself a link to a private folder.
  const fs::path linked = temp_.path() / "linked";
  fs::create_directory_symlink(locks_, linked);
  EXPECT_THROW(ScopedPortLock(8445, linked.string()), std::system_error);
  EXPECT_FALSE(fs::exists(locks_ / "port-8445.lock"));

  // A folder others may write to: they could swap the lock file.
  const fs::path open = temp_.path() / "open";
  fs::create_directory(open);
  fs::permissions(open, fs::perms::all);
  EXPECT_THROW(ScopedPortLock(8443, open.string()), std::system_error);
  EXPECT_FALSE(fs::exists(open / "port-8443.lock"));
}

}  // namespace
}  // namespace kestrune
