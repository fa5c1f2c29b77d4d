#pragma once
// Firmware image bytes for tests: random, yet the same on every run.

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace kestrune {
namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// `size` bytes; a different image for every seed.
inline Bytes RandomImage(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
  return bytes;
}

}  // namespace testing_support
}  // namespace kestrune
