#pragma once
// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes.

#include <filesystem>
#include <string>

namespace kestrune {
namespace testing_support {

class TempFolder {
 public:
  // The folder is named kestrune-<purpose>-<random>. Throws when none can
  // be made.
  explicit TempFolder(const std::string& purpose);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
}  // namespace kestrune
