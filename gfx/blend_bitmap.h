#pragma once

#include <windows.h>

#include <cstdint>

namespace kestrune {

// Blends the overlay bitmap, placed with its top-left pixel on column x of
// picture line y of the background, toward the background by alpha, writing
// into the overlay. Overlay pixels of keyColour (0x00RRGGBB, red high) take
// the background's colour. Both must be 24-bit bottom-up device-independent
// sections (as MemDC makes them); other bitmaps are left untouched.
void BlendBitmap(HBITMAP background, int x, int y, HBITMAP overlay, float alpha,
                 std::uint32_t keyColour);

}  // namespace kestrune
