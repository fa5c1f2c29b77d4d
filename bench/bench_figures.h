#pragma once
// What the benchmarks share: the image they write and how they sum up
// their rounds.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "transfer/device_frame.h"

namespace kestrune {

// An image of `blocks` whole blocks whose bytes change within a block and
// from block to block.
inline std::vector<std::uint8_t> BenchImage(std::uint32_t blocks) {
  std::vector<std::uint8_t> image(std::size_t{blocks} * kBlockSize);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i * 7 + i / kBlockSize);
  return image;
}

// The median of the rounds' figures: the middle one, or the mean of the
// middle two.
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace kestrune
