#pragma once
// The deterministic body bytes that the reference update service sends on
// its /data and /fault paths, for tests to compare with (both builds).

#include <cstddef>
#include <string>

namespace kestrune {

std::string PatternBytes(size_t n);

}  // namespace kestrune
