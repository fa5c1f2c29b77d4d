#include "testing/temp_folder.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <system_error>

namespace kestrune {
namespace testing_support {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& purpose) {
  const fs::path base = fs::temp_directory_path();
  std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  // create_directory makes the folder only when the name is not taken, so a
  // name another test holds is never shared.
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    const fs::path candidate = base / ("kestrune-" + purpose + "-" + suffix);
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made in " + base.string());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace testing_support
}  // namespace kestrune
