#include "gfx/blend_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace kestrune {
namespace {

bool IsUsable(const std::uint8_t* bits, const PixelLayout24& layout) {
  return bits != nullptr && layout.width > 0 && layout.height > 0 &&
         static_cast<long long>(layout.bytesPerRow) >= 3LL * layout.width;
}

// Start of picture line `line` (0 = top) in a bottom-up buffer.
std::ptrdiff_t LineOffset(const PixelLayout24& layout, int line) {
  return static_cast<std::ptrdiff_t>(layout.height - 1 - line) * layout.bytesPerRow;
}

std::uint8_t Mix(std::uint8_t over, std::uint8_t back, float alpha) {
  if (alpha == 0.5f) {
    return static_cast<std::uint8_t>((over + back) >> 1);
  }
  // With alpha inside 0..1 the value stays inside 0..255.
  float value = static_cast<float>(over) * (1.0f - alpha) + static_cast<float>(back) * alpha;
  return static_cast<std::uint8_t>(static_cast<int>(value));
}

}  // namespace

void BlendPixels(const std::uint8_t* background, const PixelLayout24& backgroundLayout, int x,
                 int y, std::uint8_t* overlay, const PixelLayout24& overlayLayout, float alpha,
                 std::uint32_t keyColour) {
  if (std::isnan(alpha)) {
    return;
  }
  alpha = std::clamp(alpha, 0.0f, 1.0f);
  if (alpha == 0.0f || alpha == 1.0f) {
    return;
  }
  if (!IsUsable(background, backgroundLayout) || !IsUsable(overlay, overlayLayout)) {
    return;
  }

  // Only the overlay lines and columns that meet the background take part.
  const long long firstLine = std::max(0LL, -static_cast<long long>(y));
  const long long endLine = std::min<long long>(
      overlayLayout.height, static_cast<long long>(backgroundLayout.height) - y);
  const long long firstColumn = std::max(0LL, -static_cast<long long>(x));
  const long long endColumn =
      std::min<long long>(overlayLayout.width, static_cast<long long>(backgroundLayout.width) - x);

  for (long long line = firstLine; line < endLine; ++line) {
    std::uint8_t* overRow = overlay + LineOffset(overlayLayout, static_cast<int>(line));
    const std::uint8_t* backRow =
        background + LineOffset(backgroundLayout, static_cast<int>(line + y));
    for (long long column = firstColumn; column < endColumn; ++column) {
      std::uint8_t* over = overRow + 3 * column;
      const std::uint8_t* back = backRow + 3 * (column + x);
      const std::uint32_t colour =
          (std::uint32_t{over[2]} << 16) | (std::uint32_t{over[1]} << 8) | over[0];
      for (int channel = 0; channel < 3; ++channel) {
        over[channel] =
            colour == keyColour ? back[channel] : Mix(over[channel], back[channel], alpha);
      }
    }
  }
}

}  // namespace kestrune
