#include "gfx/mem_dc.h"

namespace kestrune {

MemDC::MemDC(HDC reference, int width, int height) : BitmapDC(reference) {
  BITMAPINFO info{};
  BITMAPINFOHEADER& header = info.bmiHeader;
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // positive: rows stored bottom-up
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage =
      static_cast<DWORD>(((3LL * width + 3) & ~3LL) * static_cast<long long>(height));
  void* bits = nullptr;
  Adopt(CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  FillBitmapInfo();
}

}  // namespace kestrune
