#include "gfx/blend_bitmap.h"
#include "gfx/bmp_dc.h"
#include "gfx/mem_dc.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/gdi_drawing.h"

namespace kestrune {
namespace {

using testing_support::ScreenDC;
using testing_support::SectionBytes;
using testing_support::SectionPixel;

void FillWith(HDC dc, int width, int height, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  RECT rect{0, 0, width, height};
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

// A 3x2 overlay drawn with GDI, blended onto a 4x4 background at (2, 1):
// its right column hangs past the background's edge.
TEST(BlendBitmap, BlendsGdiDrawnSectionsInPlace) {
  ScreenDC screen;
  MemDC background(screen, 4, 4);
  FillWith(background.Handle(), 4, 4, RGB(0x80, 0x40, 0x20));
  SetPixel(background.Handle(), 2, 1, RGB(0x10, 0x20, 0x30));
  MemDC overlay(screen, 3, 2);
  FillWith(overlay.Handle(), 3, 2, RGB(0x00, 0x00, 0x00));
  SetPixel(overlay.Handle(), 1, 1, RGB(0x12, 0x34, 0x56));  // the key colour
  const std::vector<std::uint8_t> backgroundBefore = SectionBytes(background.BitmapInfo());

  BlendBitmap(background.Bitmap(), 2, 1, overlay.Bitmap(), 0.5f, 0x123456);

  const BITMAP& info = overlay.BitmapInfo();
  EXPECT_EQ(SectionPixel(info, 0, 0), 0x081018u);  // over the odd pixel
  EXPECT_EQ(SectionPixel(info, 1, 0), 0x402010u);
  EXPECT_EQ(SectionPixel(info, 0, 1), 0x402010u);
  EXPECT_EQ(SectionPixel(info, 1, 1), 0x804020u) << "key colour takes the background's";
  EXPECT_EQ(SectionPixel(info, 2, 0), 0x000000u) << "outside the background";
  EXPECT_EQ(SectionPixel(info, 2, 1), 0x000000u) << "outside the background";
  EXPECT_EQ(SectionBytes(background.BitmapInfo()), backgroundBefore);
  // GDI sees the blended pixels too.
  EXPECT_EQ(GetPixel(overlay.Handle(), 1, 0), RGB(0x40, 0x20, 0x10));
}

HBITMAP MakeSection(int width, int height, int bitsPerPixel) {  // bottom-up
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// Bitmaps without a 24-bit pixel area are refused untouched, as background
// and as overlay. (Top-down sections are refused too where GetObjectW keeps
// the sign of their height; this Wine reports it positive.)
TEST(BlendBitmap, RefusesBitmapsThatAreNot24BitBottomUpSections) {
  ScreenDC screen;
  BMPDC deviceDependent(screen, 2, 2);
  FillWith(deviceDependent.Handle(), 2, 2, RGB(0x10, 0x20, 0x30));
  const struct {
    const char* name;
    HBITMAP bitmap;
  } refused[] = {
      {"device-dependent", deviceDependent.Bitmap()},
      {"32-bit section", MakeSection(2, 2, 32)},
      {"no bitmap", nullptr},
  };

  for (const auto& r : refused) {
    SCOPED_TRACE(r.name);
    MemDC good(screen, 2, 2);
    FillWith(good.Handle(), 2, 2, RGB(0xF0, 0xF0, 0xF0));
    const std::vector<std::uint8_t> goodBefore = SectionBytes(good.BitmapInfo());
    BlendBitmap(r.bitmap, 0, 0, good.Bitmap(), 0.5f, 0x000000);
    EXPECT_EQ(SectionBytes(good.BitmapInfo()), goodBefore) << "as background";

    if (!r.bitmap) continue;
    std::vector<std::uint8_t> before(64), after(64);
    const LONG size = GetBitmapBits(r.bitmap, 64, before.data());
    ASSERT_GT(size, 0);
    BlendBitmap(good.Bitmap(), 0, 0, r.bitmap, 0.5f, 0x000000);
    GdiFlush();
    EXPECT_EQ(GetBitmapBits(r.bitmap, 64, after.data()), size);
    EXPECT_EQ(after, before) << "as overlay";
  }
  DeleteObject(refused[1].bitmap);
}

}  // namespace
}  // namespace kestrune
