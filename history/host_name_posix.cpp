#include <unistd.h>

#include <climits>

#include "history/host_name.h"

namespace kestrune {

std::string ThisHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace kestrune
