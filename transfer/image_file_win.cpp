#include "transfer/image_file.h"

#include <windows.h>

namespace kestrune {
namespace {

struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

}  // namespace

bool ReadFirmwareImage(const std::u16string& path, std::uint32_t expectedLength,
                       FirmwareImage& image) {
  image = FirmwareImage{};
  Handle file{CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                          0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.h, &size)) return false;
  if (static_cast<unsigned long long>(size.QuadPart) != expectedLength) return false;

  std::unique_ptr<unsigned char[]> bytes(new unsigned char[expectedLength ? expectedLength : 1]);
  std::uint32_t got = 0;
  while (got < expectedLength) {
    DWORD n = 0;
    if (!ReadFile(file.h, bytes.get() + got, expectedLength - got, &n, nullptr) || n == 0) {
      return false;
    }
    got += n;
  }
  image.bytes = std::move(bytes);
  image.length = expectedLength;
  return true;
}

}  // namespace kestrune
