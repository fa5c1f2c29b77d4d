#include "app/frontend/exit_leaving_statics.h"

#include <cstdio>
#include <cstdlib>

namespace kestrune {

void ExitLeavingStatics(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace kestrune
