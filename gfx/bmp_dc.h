#pragma once

#include "gfx/bitmap_dc.h"

namespace kestrune {

// A memory context drawing into an owned device-dependent bitmap with the
// colour format of the reference context. BitmapInfo() stays empty until
// ReplaceBitmap.
class BMPDC : public BitmapDC {
 public:
  BMPDC(HDC reference, int width, int height);
};

}  // namespace kestrune
