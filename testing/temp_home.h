#pragma once
// A fresh user for the life of the object: HOME is a new temporary folder
// and XDG_CONFIG_HOME is unset, so the Linux build finds its settings the
// way it does for a user who has none (<home>/.config) and its user data
// folder below that home, never in the real one. Both are put back after.

#include <filesystem>

#include "testing/scoped_environment_variable.h"
#include "testing/temp_folder.h"

namespace kestrune {
namespace testing_support {

class TempHome {
 public:
  TempHome();

  const std::filesystem::path& Path() const { return folder_.path(); }
  // Where the user data folder lands while no user-dirs.dirs says otherwise.
  std::filesystem::path DataFolder() const { return Path() / "Documents" / "orvel kestrune"; }

 private:
  TempFolder folder_;
  ScopedEnvironmentVariable home_;
  ScopedEnvironmentVariable configHome_;
};

}  // namespace testing_support
}  // namespace kestrune
