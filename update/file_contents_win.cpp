#include "update/file_contents.h"

#include <windows.h>

namespace kestrune {

FileContents ReadFileContents(const std::u16string& path) {
  FileContents contents;
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, 0,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return contents;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  std::unique_ptr<char[]> data;
  DWORD read = 0;
  bool ok = size != INVALID_FILE_SIZE && high == 0;
  if (ok) {
    data.reset(new char[size == 0 ? 1 : size]);
    ok = size == 0 || (ReadFile(file, data.get(), size, &read, nullptr) && read == size);
  }
  CloseHandle(file);
  if (ok) {
    contents.data = std::move(data);
    contents.size = size;
  }
  return contents;
}

}  // namespace kestrune
