#pragma once
// The process's own memory figures, from /proc/self, for the benchmarks
// that measure peak memory over a footprint.

#include <cstdlib>
#include <fstream>
#include <string>

namespace kestrune {

// Kilobytes of one field of /proc/self/status ("VmRSS", "VmHWM"); -1 when
// it is not there.
inline long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

// Restarts the peak-RSS count (VmHWM) at the current RSS; false where the
// kernel does not allow it.
inline bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

}  // namespace kestrune
