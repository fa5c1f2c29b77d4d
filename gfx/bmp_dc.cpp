#include "gfx/bmp_dc.h"

namespace kestrune {

BMPDC::BMPDC(HDC reference, int width, int height) : BitmapDC(reference) {
  // Made compatible with the reference and not with hdc: a fresh memory
  // context holds a monochrome bitmap, and would make this one monochrome.
  // A null reference means the screen, as it does for the context itself.
  HDC screen = reference ? nullptr : GetDC(nullptr);
  Adopt(CreateCompatibleBitmap(reference ? reference : screen, width, height));
  if (screen) ReleaseDC(nullptr, screen);
}

}  // namespace kestrune
