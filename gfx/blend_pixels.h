#pragma once

#include <cstdint>

namespace kestrune {

// Geometry of a 24-bit picture stored as rows of blue, green, red bytes,
// the last stored row being the top line of the picture (bottom-up), each
// row padded to bytesPerRow.
struct PixelLayout24 {
  int width = 0;
  int height = 0;
  int bytesPerRow = 0;
};

// Blends the overlay, whose top-left pixel sits on column x of picture line
// y of the background, toward the background by alpha; the result replaces
// the overlay's pixels and the background is only read. Overlay pixels of
// keyColour (0x00RRGGBB) take the background's colour instead. Overlay
// pixels that fall outside the background stay as they are, row by row.
// Alpha is clamped into 0..1, and alpha 0 or 1 leaves the overlay as it is.
// A layout that cannot describe its buffer leaves the overlay untouched.
void BlendPixels(const std::uint8_t* background, const PixelLayout24& backgroundLayout, int x,
                 int y, std::uint8_t* overlay, const PixelLayout24& overlayLayout, float alpha,
                 std::uint32_t keyColour);

}  // namespace kestrune
