#include "gfx/bmp_dc.h"
#include "gfx/compatible_dc.h"
#include "gfx/mem_dc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/gdi_drawing.h"

namespace kestrune {
namespace {

using testing_support::ScreenDC;
using testing_support::SectionBytes;
using testing_support::SectionPixel;

TEST(MemDC, OwnsA24BitBottomUpSectionReachedThroughItsInfo) {
  ScreenDC screen;
  MemDC dc(screen, 5, 3);
  const BITMAP& info = dc.BitmapInfo();
  ASSERT_NE(info.bmBits, nullptr);
  EXPECT_EQ(info.bmWidth, 5);
  EXPECT_EQ(info.bmHeight, 3);
  EXPECT_EQ(info.bmBitsPixel, 24);
  EXPECT_EQ(info.bmWidthBytes, 16);  // 15 bytes of pixels, padded to 4
  EXPECT_EQ(GetCurrentObject(dc.Handle(), OBJ_BITMAP), dc.Bitmap());

  ASSERT_NE(SetPixel(dc.Handle(), 0, 0, RGB(0x11, 0x22, 0x33)), CLR_INVALID);
  GdiFlush();
  // The picture's top line is the last stored row, blue first.
  const auto* top = static_cast<const std::uint8_t*>(info.bmBits) + 2 * info.bmWidthBytes;
  EXPECT_EQ(top[0], 0x33);
  EXPECT_EQ(top[1], 0x22);
  EXPECT_EQ(top[2], 0x11);
}

// Black pixels of a MemDC as text, '#' for black and '.' for white.
std::vector<std::string> BlackPixels(const MemDC& dc) {
  const BITMAP& info = dc.BitmapInfo();
  std::vector<std::string> picture;
  for (int y = 0; y < info.bmHeight; ++y) {
    std::string line;
    for (int x = 0; x < info.bmWidth; ++x) {
      const std::uint32_t colour = SectionPixel(info, x, y);
      line += colour == 0x000000 ? '#' : colour == 0xFFFFFF ? '.' : '?';
    }
    picture.push_back(line);
  }
  return picture;
}

TEST(CompatibleDC, LinesLandOnTheirPixels) {
  ScreenDC screen;
  MemDC dc(screen, 8, 8);
  ASSERT_TRUE(PatBlt(dc.Handle(), 0, 0, 8, 8, WHITENESS));

  EXPECT_TRUE(dc.DrawLine(1, 0, 5, 0));  // the end point is not drawn
  EXPECT_TRUE(dc.DrawLine(0, 7, 4, 3));
  EXPECT_TRUE(dc.DrawRectOutline(2, 2, 6, 5));

  const std::vector<std::string> expected = {
      ".####...", "........", "..#####.", "..#...#.",
      "..##..#.", "..#####.", ".#......", "#.......",
  };
  EXPECT_EQ(BlackPixels(dc), expected);

  POINT position{};
  ASSERT_TRUE(GetCurrentPositionEx(dc.Handle(), &position));
  EXPECT_EQ(position.x, 2);
  EXPECT_EQ(position.y, 2);
}

TEST(CompatibleDC, OutlineGoesRoundInTheGivenOrder) {
  // With the corners given the other way round the same outline is drawn
  // and the position ends on the first corner given.
  ScreenDC screen;
  MemDC dc(screen, 5, 4);
  ASSERT_TRUE(PatBlt(dc.Handle(), 0, 0, 5, 4, WHITENESS));
  EXPECT_TRUE(dc.DrawRectOutline(4, 3, 1, 0));
  const std::vector<std::string> expected = {".####", ".#..#", ".#..#", ".####"};
  EXPECT_EQ(BlackPixels(dc), expected);
  POINT position{};
  ASSERT_TRUE(GetCurrentPositionEx(dc.Handle(), &position));
  EXPECT_EQ(position.x, 4);
  EXPECT_EQ(position.y, 3);
}

// A 4x4 source picture whose pixel (x, y) has colour 0x100*y + 0x10*x + 1.
std::uint32_t SourceColour(int x, int y) { return 0x100u * y + 0x10u * x + 1; }
void PaintSource(HDC dc) {
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const std::uint32_t c = SourceColour(x, y);
      SetPixel(dc, x, y, RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    }
}

// A copy of the source's 2x2 block at (source.x, source.y) to (3, 1) of a
// white 6x6 MemDC, through the short form when the source point is (0, 0).
struct BlockCopy {
  POINT source;
  DWORD rop;
};
const BlockCopy kBlockCopies[] = {{{0, 0}, NOTSRCCOPY}, {{1, 2}, SRCCOPY}};

// Checks that the block came from the source with the copy's raster
// operation and that nothing else changed.
void ExpectCopiedBlock(const MemDC& dc, const BlockCopy& copy) {
  const std::uint32_t invert = copy.rop == NOTSRCCOPY ? 0xFFFFFF : 0;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 3 && x < 5 && y >= 1 && y < 3;
      const std::uint32_t expected =
          inside ? SourceColour(copy.source.x + x - 3, copy.source.y + y - 1) ^ invert : 0xFFFFFF;
      EXPECT_EQ(SectionPixel(dc.BitmapInfo(), x, y), expected) << x << "," << y;
    }
}

TEST(CompatibleDC, BltDCCopiesFromTheSourcePoint) {
  ScreenDC screen;
  MemDC source(screen, 4, 4);
  PaintSource(source.Handle());
  for (const BlockCopy& copy : kBlockCopies) {
    MemDC dc(screen, 6, 6);
    ASSERT_TRUE(PatBlt(dc.Handle(), 0, 0, 6, 6, WHITENESS));
    if (copy.source.x == 0 && copy.source.y == 0) {
      EXPECT_TRUE(dc.BltDC(source.Handle(), copy.rop, 3, 1, 2, 2));
    } else {
      EXPECT_TRUE(dc.BltDC(source.Handle(), copy.rop, 3, 1, 2, 2, copy.source.x, copy.source.y));
    }
    ExpectCopiedBlock(dc, copy);
  }
}

TEST(CompatibleDC, BltBitmapCopiesFromTheSourcePoint) {
  ScreenDC screen;
  // A bitmap held by no context: made in one that is then released.
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
  ASSERT_NE(bitmap, nullptr);
  {
    HDC painter = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(painter, bitmap);
    PaintSource(painter);
    SelectObject(painter, previous);
    DeleteDC(painter);
  }
  for (const BlockCopy& copy : kBlockCopies) {
    MemDC dc(screen, 6, 6);
    ASSERT_TRUE(PatBlt(dc.Handle(), 0, 0, 6, 6, WHITENESS));
    if (copy.source.x == 0 && copy.source.y == 0) {
      EXPECT_TRUE(dc.BltBitmap(bitmap, copy.rop, 3, 1, 2, 2));
    } else {
      EXPECT_TRUE(dc.BltBitmap(bitmap, copy.rop, 3, 1, 2, 2, copy.source.x, copy.source.y));
    }
    ExpectCopiedBlock(dc, copy);
  }
  EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP)) << "the bitmap is not taken";
  DeleteObject(bitmap);
}

TEST(CompatibleDC, BltBitmapRefusesABitmapHeldByAnotherContext) {
  ScreenDC screen;
  MemDC holder(screen, 4, 4);
  PaintSource(holder.Handle());
  MemDC dc(screen, 6, 6);
  ASSERT_TRUE(PatBlt(dc.Handle(), 0, 0, 6, 6, WHITENESS));
  EXPECT_FALSE(dc.BltBitmap(holder.Bitmap(), SRCCOPY, 0, 0, 6, 6));
  const std::vector<std::string> white(6, "......");
  EXPECT_EQ(BlackPixels(dc), white);
}

// DrawTextW's pixels for the same text on a fresh white MemDC.
std::vector<std::uint8_t> RenderText(const wchar_t* text, UINT format, bool throughDrawTextInRect) {
  ScreenDC screen;
  MemDC dc(screen, 64, 24);
  PatBlt(dc.Handle(), 0, 0, 64, 24, WHITENESS);
  RECT rect{0, 0, 64, 24};
  const int height = throughDrawTextInRect ? dc.DrawTextInRect(text, rect, format)
                                           : DrawTextW(dc.Handle(), text, -1, &rect, format);
  EXPECT_GT(height, 0);
  return SectionBytes(dc.BitmapInfo());
}

class DrawTextInRectFlags : public ::testing::TestWithParam<UINT> {};

TEST_P(DrawTextInRectFlags, DrawsTheAmpersandItself) {
  const UINT format = GetParam();
  const wchar_t* text = L"&x&&";
  const std::vector<std::uint8_t> drawn = RenderText(text, format, true);
  EXPECT_EQ(drawn, RenderText(text, format | DT_NOPREFIX, false));
  EXPECT_NE(drawn, RenderText(text, format & ~UINT{DT_NOPREFIX}, false))
      << "with prefixes the text would look different";
}

INSTANTIATE_TEST_SUITE_P(Formats, DrawTextInRectFlags,
                         ::testing::Values(0u, UINT{DT_CENTER | DT_VCENTER | DT_SINGLELINE},
                                           UINT{DT_RIGHT | DT_WORDBREAK}, UINT{DT_NOPREFIX}));

TEST(CompatibleDC, DrawTextInRectMeasuresEveryAmpersand) {
  ScreenDC screen;
  CompatibleDC dc(screen);
  auto width = [&](UINT format, bool own) {
    RECT rect{0, 0, 0, 0};
    if (own) {
      dc.DrawTextInRect(L"&&&&", rect, format);
    } else {
      DrawTextW(dc.Handle(), L"&&&&", -1, &rect, format);
    }
    return rect.right - rect.left;
  };
  const LONG literal = width(DT_CALCRECT | DT_NOPREFIX, false);
  EXPECT_EQ(width(DT_CALCRECT, true), literal);
  EXPECT_GT(literal, width(DT_CALCRECT, false)) << "four ampersands are wider than two";
}

// MemDC and BMPDC own the bitmap last given to them.
template <typename DC>
class OwnedBitmap : public ::testing::Test {};
using BitmapContexts = ::testing::Types<MemDC, BMPDC>;
TYPED_TEST_SUITE(OwnedBitmap, BitmapContexts);

bool Exists(HGDIOBJ object) { return GetObjectType(object) != 0; }

TYPED_TEST(OwnedBitmap, DestroyingDeletesTheLastGivenBitmap) {
  ScreenDC screen;
  // Every bitmap is made up front, so no deleted handle can come back.
  HBITMAP first = CreateCompatibleBitmap(screen, 3, 2);
  HBITMAP second = CreateCompatibleBitmap(screen, 7, 5);
  ASSERT_TRUE(first && second);
  HBITMAP created = nullptr;
  HDC hdc = nullptr;
  {
    TypeParam dc(screen, 4, 4);
    created = dc.Bitmap();
    hdc = dc.Handle();
    ASSERT_TRUE(Exists(created));

    dc.ReplaceBitmap(first);
    EXPECT_FALSE(Exists(created)) << "the constructor's bitmap goes at once";
    EXPECT_EQ(dc.Bitmap(), first);
    EXPECT_EQ(GetCurrentObject(hdc, OBJ_BITMAP), first);

    dc.ReplaceBitmap(second);
    EXPECT_FALSE(Exists(first));
    EXPECT_EQ(GetCurrentObject(hdc, OBJ_BITMAP), second);
    EXPECT_EQ(dc.BitmapInfo().bmWidth, 7);
    EXPECT_EQ(dc.BitmapInfo().bmHeight, 5);
  }
  EXPECT_FALSE(Exists(second)) << "the last given bitmap goes with the context";
  EXPECT_FALSE(Exists(hdc));
}

TYPED_TEST(OwnedBitmap, ReplacingWithTheOwnedBitmapKeepsIt) {
  ScreenDC screen;
  TypeParam dc(screen, 4, 4);
  HBITMAP owned = dc.Bitmap();
  dc.ReplaceBitmap(owned);
  EXPECT_TRUE(Exists(owned));
  EXPECT_EQ(GetCurrentObject(dc.Handle(), OBJ_BITMAP), owned);
  EXPECT_NE(SetPixel(dc.Handle(), 1, 1, RGB(255, 0, 0)), CLR_INVALID);
}

TEST(MemDC, ReplaceBitmapDescribesTheNewSection) {
  ScreenDC screen;
  MemDC dc(screen, 4, 4);
  BITMAPINFO header{};
  header.bmiHeader = {sizeof header.bmiHeader, 9, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);

  dc.ReplaceBitmap(section);
  EXPECT_EQ(dc.BitmapInfo().bmWidth, 9);
  EXPECT_EQ(dc.BitmapInfo().bmHeight, 2);
  EXPECT_EQ(dc.BitmapInfo().bmWidthBytes, 28);
  EXPECT_EQ(dc.BitmapInfo().bmBits, bits);
}

TEST(BMPDC, BitmapHasTheReferenceContextsColourFormat) {
  ScreenDC screen;
  const int screenBits = GetDeviceCaps(screen, BITSPIXEL);
  ASSERT_GT(screenBits, 1);
  BMPDC dc(screen, 4, 4);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(dc.Bitmap(), sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, screenBits);
  EXPECT_EQ(info.bmWidth, 4);

  // A colour survives; a monochrome bitmap would keep black or white.
  const COLORREF red = RGB(200, 30, 40);
  ASSERT_NE(SetPixel(dc.Handle(), 2, 1, red), CLR_INVALID);
  EXPECT_EQ(GetPixel(dc.Handle(), 2, 1), red);
}

TEST(BMPDC, NullReferenceMeansTheScreen) {
  ScreenDC screen;
  BMPDC dc(nullptr, 4, 4);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(dc.Bitmap(), sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, GetDeviceCaps(screen, BITSPIXEL));
}

}  // namespace
}  // namespace kestrune
