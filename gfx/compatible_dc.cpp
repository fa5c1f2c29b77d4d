#include "gfx/compatible_dc.h"

namespace kestrune {

CompatibleDC::CompatibleDC(HDC reference) : hdc(CreateCompatibleDC(reference)) {}

CompatibleDC::~CompatibleDC() {
  if (hdc) DeleteDC(hdc);
}

BOOL CompatibleDC::BltBitmap(HBITMAP bitmap, DWORD rop, int x, int y, int width, int height,
                             int sourceX, int sourceY) {
  HDC source = CreateCompatibleDC(hdc);
  if (!source) return FALSE;
  BOOL result = FALSE;
  // A bitmap already held by another context cannot be selected; copying
  // then would copy the temporary context's empty one-pixel bitmap.
  if (HGDIOBJ previous = SelectObject(source, bitmap)) {
    result = BitBlt(hdc, x, y, width, height, source, sourceX, sourceY, rop);
    SelectObject(source, previous);
  }
  DeleteDC(source);
  return result;
}

BOOL CompatibleDC::BltBitmap(HBITMAP bitmap, DWORD rop, int x, int y, int width, int height) {
  return BltBitmap(bitmap, rop, x, y, width, height, 0, 0);
}

BOOL CompatibleDC::BltDC(HDC source, DWORD rop, int x, int y, int width, int height, int sourceX,
                         int sourceY) {
  return BitBlt(hdc, x, y, width, height, source, sourceX, sourceY, rop);
}

BOOL CompatibleDC::BltDC(HDC source, DWORD rop, int x, int y, int width, int height) {
  return BltDC(source, rop, x, y, width, height, 0, 0);
}

BOOL CompatibleDC::DrawRectOutline(int x1, int y1, int x2, int y2) {
  // Every line is drawn, even after one fails, as with separate calls.
  BOOL ok = DrawLine(x1, y1, x2, y1);
  ok = DrawLine(x2, y1, x2, y2) && ok;
  ok = DrawLine(x2, y2, x1, y2) && ok;
  ok = DrawLine(x1, y2, x1, y1) && ok;
  return ok;
}

BOOL CompatibleDC::DrawLine(int x1, int y1, int x2, int y2) {
  MoveToEx(hdc, x1, y1, nullptr);
  return LineTo(hdc, x2, y2);
}

int CompatibleDC::DrawTextInRect(const wchar_t* text, RECT& rect, UINT format) {
  return DrawTextW(hdc, text, -1, &rect, format | DT_NOPREFIX);
}

}  // namespace kestrune
