#pragma once

#include "gfx/compatible_dc.h"

namespace kestrune {

// A memory context that owns the bitmap selected into it. The bitmap goes
// when the context goes, after the context's earlier object is back in it.
class BitmapDC : public CompatibleDC {
 public:
  ~BitmapDC() override;

  // Deletes the owned bitmap and takes ownership of newBitmap, selected in
  // its place; bitmapInfo then describes newBitmap. Giving the bitmap
  // already owned changes nothing.
  void ReplaceBitmap(HBITMAP newBitmap);

  HBITMAP Bitmap() const { return bitmap; }
  const BITMAP& BitmapInfo() const { return bitmapInfo; }

 protected:
  explicit BitmapDC(HDC reference);
  // Selects a bitmap freshly made for this context and owns it.
  void Adopt(HBITMAP newBitmap);
  void FillBitmapInfo();

  HBITMAP bitmap = nullptr;
  HGDIOBJ previousObject = nullptr;
  BITMAP bitmapInfo{};
};

}  // namespace kestrune
