#include "testing/temp_home.h"

namespace kestrune {
namespace testing_support {

TempHome::TempHome()
    : folder_("home"),
      home_("HOME", folder_.path().string()),
      configHome_("XDG_CONFIG_HOME", std::nullopt) {}

}  // namespace testing_support
}  // namespace kestrune
