#include "gfx/blend_pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {
namespace {

// A 24-bit bottom-up picture addressed by column and picture line (0 = top).
// Row padding is filled with a marker so that writes into it show.
struct Picture {
  static constexpr std::uint8_t kPadding = 0xA5;

  Picture(int width, int height)
      : layout{width, height, ((width * 3 + 3) / 4) * 4},
        bytes(static_cast<size_t>(layout.bytesPerRow) * height, kPadding) {}

  std::uint8_t* Pixel(int column, int line) {
    return bytes.data() + (layout.height - 1 - line) * layout.bytesPerRow + column * 3;
  }
  void Set(int column, int line, std::uint32_t rgb) {
    std::uint8_t* p = Pixel(column, line);
    p[0] = rgb & 0xFF;
    p[1] = (rgb >> 8) & 0xFF;
    p[2] = (rgb >> 16) & 0xFF;
  }
  std::uint32_t Get(int column, int line) {
    const std::uint8_t* p = Pixel(column, line);
    return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
  }
  void Fill(std::uint32_t rgb) {
    for (int line = 0; line < layout.height; ++line)
      for (int column = 0; column < layout.width; ++column) Set(column, line, rgb);
  }

  PixelLayout24 layout;
  std::vector<std::uint8_t> bytes;
};

// Pixel values: one overlay pixel, the background pixel under it, and what
// the overlay pixel must hold afterwards.
struct PixelCase {
  std::uint32_t overlay;
  std::uint32_t background;
  std::uint32_t expected;
};

struct AlphaCase {
  std::string name;
  float alpha;
  std::uint32_t key;
  std::vector<PixelCase> pixels;
};

void PrintTo(const AlphaCase& c, std::ostream* os) { *os << c.name; }

class BlendAlpha : public ::testing::TestWithParam<AlphaCase> {};

// Overlay and background are one line of pixels each, placed at (0, 0).
TEST_P(BlendAlpha, GivesExpectedBytes) {
  const AlphaCase& c = GetParam();
  const int width = static_cast<int>(c.pixels.size());
  Picture background(width, 1), overlay(width, 1);
  for (int i = 0; i < width; ++i) {
    background.Set(i, 0, c.pixels[i].background);
    overlay.Set(i, 0, c.pixels[i].overlay);
  }
  const std::vector<std::uint8_t> backgroundBefore = background.bytes;

  BlendPixels(background.bytes.data(), background.layout, 0, 0, overlay.bytes.data(),
              overlay.layout, c.alpha, c.key);

  for (int i = 0; i < width; ++i) {
    EXPECT_EQ(overlay.Get(i, 0), c.pixels[i].expected) << "pixel " << i;
  }
  EXPECT_EQ(background.bytes, backgroundBefore) << "the background is only read";
}

constexpr std::uint32_t kKey = 0x123456;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, BlendAlpha,
    ::testing::Values(
        AlphaCase{"AlphaZeroLeavesEverything",
                  0.0f,
                  kKey,
                  {{0x102030, 0xF0E0D0, 0x102030}, {kKey, 0xF0E0D0, kKey}}},
        AlphaCase{"AlphaOneLeavesEverything",
                  1.0f,
                  kKey,
                  {{0x102030, 0xF0E0D0, 0x102030}, {kKey, 0xF0E0D0, kKey}}},
        // Halves drop the remainder of odd sums: 0xFF+0x00 -> 0x7F, 3+4 -> 3.
        AlphaCase{"AlphaHalfAverages",
                  0.5f,
                  kKey,
                  {{0xFF0300, 0x000400, 0x7F0300}, {0x204060, 0x406080, 0x305070}}},
        // 200*0.75+100*0.25 = 175 (0xAF); 3*0.75+0*0.25 = 2.25 -> 2;
        // 0*0.75+3*0.25 = 0.75 -> 0 (truncated, not rounded).
        AlphaCase{"GeneralAlphaTruncates", 0.25f, kKey, {{0xC80300, 0x640003, 0xAF0200}}},
        AlphaCase{"KeyPixelTakesBackground",
                  0.25f,
                  kKey,
                  {{kKey, 0xABCDEF, 0xABCDEF}, {0x000000, 0x040404, 0x010101}}},
        // The key is read as 0x00RRGGBB: the same bytes in the other order
        // are an ordinary pixel and are blended.
        AlphaCase{"KeyIsRedHigh",
                  0.5f,
                  0x563412,
                  {{0x123456, 0x000000, 0x091A2B}, {0x563412, 0x000000, 0x000000}}},
        AlphaCase{
            "KeyWithHighByteNeverMatches", 0.5f, 0xFF000000u, {{0x000000, 0x020202, 0x010101}}},
        // Out of range alpha acts as the nearest end of the range instead of
        // wrapping (0*-0.5+200*1.5 = 300 would wrap to 44).
        AlphaCase{"AlphaAboveOneIsClamped",
                  1.5f,
                  kKey,
                  {{0x000000, 0xC8C8C8, 0x000000}, {kKey, 0xC8C8C8, kKey}}},
        AlphaCase{"AlphaBelowZeroIsClamped", -0.5f, kKey, {{0xC8C8C8, 0x000000, 0xC8C8C8}}},
        AlphaCase{"NaNAlphaChangesNothing", kNaN, kKey, {{0x102030, 0xF0E0D0, 0x102030}}}),
    [](const ::testing::TestParamInfo<AlphaCase>& info) { return info.param.name; });

// The placement of a 3x2 overlay on a 4x3 background. The overlay is black
// and the alpha 0.5, so a pixel that meets background cell (c, l) becomes
// half of that cell's colour; every other overlay byte, padding included,
// stays as it was.
using Cell = std::optional<std::pair<int, int>>;  // background column, line

struct PlacementCase {
  std::string name;
  int backgroundWidth;
  int x;
  int y;
  std::vector<std::vector<Cell>> meets;  // per overlay line, per column
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class BlendPlacement : public ::testing::TestWithParam<PlacementCase> {};

std::uint32_t BackgroundColour(int column, int line) {
  // Even bytes, distinct per cell and per channel.
  const std::uint32_t v = static_cast<std::uint32_t>(2 * (16 * line + column) + 0x20);
  return (v << 16) | ((v + 0x40) << 8) | (v + 0x80);
}

TEST_P(BlendPlacement, OnlyPixelsOverTheBackgroundChange) {
  const PlacementCase& c = GetParam();
  constexpr int kBackgroundHeight = 3;
  Picture background(c.backgroundWidth, kBackgroundHeight);
  for (int line = 0; line < kBackgroundHeight; ++line)
    for (int column = 0; column < c.backgroundWidth; ++column)
      background.Set(column, line, BackgroundColour(column, line));
  Picture overlay(3, 2);
  overlay.Fill(0x000000);
  const std::vector<std::uint8_t> overlayBefore = overlay.bytes;

  BlendPixels(background.bytes.data(), background.layout, c.x, c.y, overlay.bytes.data(),
              overlay.layout, 0.5f, kKey);

  std::vector<std::uint8_t> expected = overlayBefore;
  for (int line = 0; line < 2; ++line) {
    for (int column = 0; column < 3; ++column) {
      const Cell& cell = c.meets[line][column];
      if (!cell) continue;
      const std::uint32_t half = (BackgroundColour(cell->first, cell->second) >> 1) & 0x7F7F7F;
      std::uint8_t* p = expected.data() + (1 - line) * overlay.layout.bytesPerRow + column * 3;
      p[0] = half & 0xFF;
      p[1] = (half >> 8) & 0xFF;
      p[2] = (half >> 16) & 0xFF;
    }
  }
  EXPECT_EQ(overlay.bytes, expected);
}

const Cell _ = std::nullopt;
Cell At(int column, int line) { return std::make_pair(column, line); }

INSTANTIATE_TEST_SUITE_P(
    Cases, BlendPlacement,
    ::testing::Values(
        PlacementCase{
            "Inside", 4, 1, 1, {{At(1, 1), At(2, 1), At(3, 1)}, {At(1, 2), At(2, 2), At(3, 2)}}},
        PlacementCase{"PastLeftEdge", 4, -1, 0, {{_, At(0, 0), At(1, 0)}, {_, At(0, 1), At(1, 1)}}},
        // Without per-row clipping the right column would meet the start of
        // the neighbouring stored row.
        PlacementCase{"PastRightEdge", 4, 2, 1, {{At(2, 1), At(3, 1), _}, {At(2, 2), At(3, 2), _}}},
        // The background's rows are padded (3 pixels, 12 bytes): the
        // padding is not a pixel either.
        PlacementCase{"PastRightEdgeIntoPadding",
                      3,
                      1,
                      0,
                      {{At(1, 0), At(2, 0), _}, {At(1, 1), At(2, 1), _}}},
        PlacementCase{"PastTopEdge", 4, 0, -1, {{_, _, _}, {At(0, 0), At(1, 0), At(2, 0)}}},
        PlacementCase{"PastBottomEdge", 4, 1, 2, {{At(1, 2), At(2, 2), At(3, 2)}, {_, _, _}}},
        PlacementCase{"PastTopLeftCorner", 4, -2, -1, {{_, _, _}, {_, _, At(0, 0)}}},
        PlacementCase{"PastBottomRightCorner", 4, 3, 2, {{At(3, 2), _, _}, {_, _, _}}},
        PlacementCase{"EntirelyOutside", 4, 4, 0, {{_, _, _}, {_, _, _}}},
        PlacementCase{"FarOutside",
                      4,
                      std::numeric_limits<int>::min(),
                      std::numeric_limits<int>::max(),
                      {{_, _, _}, {_, _, _}}}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

// A layout that does not fit its buffer is refused before any byte is read
// or written.
TEST(BlendPixels, RefusesLayoutsThatCannotDescribeTheirBuffer) {
  Picture background(2, 2), overlay(2, 2);
  background.Fill(0xFFFFFF);
  overlay.Fill(0x000000);
  const std::vector<std::uint8_t> before = overlay.bytes;
  const PixelLayout24 good = overlay.layout;
  const PixelLayout24 bad[] = {
      {2, 2, 5},  // rows shorter than their pixels
      {0, 2, 8},
      {2, -1, 8},
      {-2, 2, 8},
  };
  for (const PixelLayout24& layout : bad) {
    BlendPixels(background.bytes.data(), layout, 0, 0, overlay.bytes.data(), good, 0.5f, kKey);
    BlendPixels(background.bytes.data(), good, 0, 0, overlay.bytes.data(), layout, 0.5f, kKey);
  }
  BlendPixels(nullptr, good, 0, 0, overlay.bytes.data(), good, 0.5f, kKey);
  EXPECT_EQ(overlay.bytes, before);

  BlendPixels(background.bytes.data(), good, 0, 0, overlay.bytes.data(), good, 0.5f, kKey);
  EXPECT_EQ(overlay.Get(0, 0), 0x7F7F7Fu) << "the good layouts do blend";
}

}  // namespace
}  // namespace kestrune
