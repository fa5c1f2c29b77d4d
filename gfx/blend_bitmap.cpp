#include "gfx/blend_bitmap.h"

#include "gfx/blend_pixels.h"

namespace kestrune {
namespace {

// The pixel bits and layout of a 24-bit bottom-up section, or false.
bool DescribeSection24(HBITMAP bitmap, DIBSECTION& section) {
  if (!bitmap || GetObjectW(bitmap, sizeof section, &section) != sizeof section) {
    return false;  // not a device-independent section: no pixel pointer
  }
  return section.dsBm.bmBits != nullptr && section.dsBm.bmBitsPixel == 24 &&
         section.dsBm.bmPlanes == 1 && section.dsBmih.biCompression == BI_RGB &&
         section.dsBmih.biHeight > 0;
}

PixelLayout24 LayoutOf(const BITMAP& bitmap) {
  return PixelLayout24{bitmap.bmWidth, bitmap.bmHeight, bitmap.bmWidthBytes};
}

}  // namespace

void BlendBitmap(HBITMAP background, int x, int y, HBITMAP overlay, float alpha,
                 std::uint32_t keyColour) {
  if (alpha == 0.0f || alpha == 1.0f) return;
  DIBSECTION back{}, over{};
  if (!DescribeSection24(background, back) || !DescribeSection24(overlay, over)) return;
  GdiFlush();  // drawing queued by GDI must reach the bits first
  BlendPixels(static_cast<const std::uint8_t*>(back.dsBm.bmBits), LayoutOf(back.dsBm), x, y,
              static_cast<std::uint8_t*>(over.dsBm.bmBits), LayoutOf(over.dsBm), alpha, keyColour);
}

}  // namespace kestrune
