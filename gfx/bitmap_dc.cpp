#include "gfx/bitmap_dc.h"

namespace kestrune {

BitmapDC::BitmapDC(HDC reference) : CompatibleDC(reference) {}

BitmapDC::~BitmapDC() {
  if (previousObject) SelectObject(hdc, previousObject);
  if (bitmap) DeleteObject(bitmap);
}

void BitmapDC::Adopt(HBITMAP newBitmap) {
  bitmap = newBitmap;
  previousObject = newBitmap ? SelectObject(hdc, newBitmap) : nullptr;
}

void BitmapDC::FillBitmapInfo() {
  bitmapInfo = BITMAP{};
  if (bitmap) GetObjectW(bitmap, sizeof bitmapInfo, &bitmapInfo);
}

void BitmapDC::ReplaceBitmap(HBITMAP newBitmap) {
  if (newBitmap == bitmap) return;  // deleting it would leave nothing owned
  if (previousObject) SelectObject(hdc, previousObject);
  if (bitmap) DeleteObject(bitmap);
  Adopt(newBitmap);
  FillBitmapInfo();
}

}  // namespace kestrune
