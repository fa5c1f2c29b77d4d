#pragma once
// Test helper: points HOME at a fresh temporary folder (and clears
// XDG_CONFIG_HOME) for the life of the object, so that the user data folder
// of the Linux build lands there and never in the real home.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace kestrune {

class ScopedHome {
 public:
  ScopedHome() {
    Save("HOME", home_);
    Save("XDG_CONFIG_HOME", config_);
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-home-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    ::setenv("HOME", path_.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
  }
  ~ScopedHome() {
    Restore("HOME", home_);
    Restore("XDG_CONFIG_HOME", config_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedHome(const ScopedHome&) = delete;
  ScopedHome& operator=(const ScopedHome&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Where GetUserDataFolder puts its folder without an XDG configuration.
  std::filesystem::path DataFolder() const { return path_ / "Documents" / "orvel kestrune"; }

 private:
  static void Save(const char* name, std::optional<std::string>& slot) {
    if (const char* value = std::getenv(name)) slot = value;
  }
  static void Restore(const char* name, const std::optional<std::string>& slot) {
    if (slot) {
      ::setenv(name, slot->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }

  std::optional<std::string> home_;
  std::optional<std::string> config_;
  std::filesystem::path path_;
};

}  // namespace kestrune
