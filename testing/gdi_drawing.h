#pragma once
// What the drawing tests draw with and read back: the screen's device
// context and the pixels of a 24-bit DIB section.

#include <windows.h>

#include <cstdint>
#include <vector>

namespace kestrune {
namespace testing_support {

// The screen's device context for the length of a test.
class ScreenDC {
 public:
  ScreenDC() : hdc_(GetDC(nullptr)) {}
  ~ScreenDC() { ReleaseDC(nullptr, hdc_); }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  operator HDC() const { return hdc_; }

 private:
  HDC hdc_;
};

// The colour (0x00RRGGBB) of column x, picture line y of a 24-bit bottom-up
// section described by info.
inline std::uint32_t SectionPixel(const BITMAP& info, int x, int y) {
  GdiFlush();
  const auto* p = static_cast<const std::uint8_t*>(info.bmBits) +
                  (info.bmHeight - 1 - y) * info.bmWidthBytes + 3 * x;
  return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

// Every byte of the section's pixel rows, padding included.
inline std::vector<std::uint8_t> SectionBytes(const BITMAP& info) {
  GdiFlush();
  const auto* p = static_cast<const std::uint8_t*>(info.bmBits);
  return std::vector<std::uint8_t>(p, p + info.bmWidthBytes * info.bmHeight);
}

}  // namespace testing_support
}  // namespace kestrune
