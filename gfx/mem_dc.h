#pragma once

#include "gfx/bitmap_dc.h"

namespace kestrune {

// A memory context drawing into an owned 24-bit device-independent bitmap
// with bottom-up rows, whose pixels are reachable through BitmapInfo().bmBits.
class MemDC : public BitmapDC {
 public:
  MemDC(HDC reference, int width, int height);
};

}  // namespace kestrune
