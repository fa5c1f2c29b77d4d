#include "tools/update_service/pattern_bytes.h"

namespace kestrune {

// Not periodic with any small power of two, so shifted or repeated chunks
// show up in comparisons.
std::string PatternBytes(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
  return bytes;
}

}  // namespace kestrune
