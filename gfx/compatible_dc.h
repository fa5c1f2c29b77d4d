#pragma once

#include <windows.h>

namespace kestrune {

// A GDI memory device context for drawing off screen, compatible with a
// reference context. Each drawing call reports the result of its GDI call.
class CompatibleDC {
 public:
  explicit CompatibleDC(HDC reference);
  virtual ~CompatibleDC();
  CompatibleDC(const CompatibleDC&) = delete;
  CompatibleDC& operator=(const CompatibleDC&) = delete;

  HDC Handle() const { return hdc; }

  // Copies from a bitmap that no context holds, through a temporary
  // context. FALSE when the bitmap cannot be selected or the copy fails.
  BOOL BltBitmap(HBITMAP bitmap, DWORD rop, int x, int y, int width, int height, int sourceX,
                 int sourceY);
  BOOL BltBitmap(HBITMAP bitmap, DWORD rop, int x, int y, int width, int height);

  BOOL BltDC(HDC source, DWORD rop, int x, int y, int width, int height, int sourceX, int sourceY);
  BOOL BltDC(HDC source, DWORD rop, int x, int y, int width, int height);

  // Four lines, each with its own move; ends with the current position at
  // (x1, y1). TRUE when every line was drawn.
  BOOL DrawRectOutline(int x1, int y1, int x2, int y2);
  BOOL DrawLine(int x1, int y1, int x2, int y2);

  // DrawTextW of NUL-terminated text with DT_NOPREFIX always added, so an
  // ampersand is drawn as itself. Returns DrawTextW's text height.
  int DrawTextInRect(const wchar_t* text, RECT& rect, UINT format);

 protected:
  HDC hdc;
};

}  // namespace kestrune
