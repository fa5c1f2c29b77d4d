#include "update/file_contents.h"

#include <windows.h>

namespace kestrune {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

FileContents ReadFileContents(const std::u16string& path, std::optional<uint32_t> expectedSize) {
  FileContents contents;
  FileHandle file(CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return contents;
  LARGE_INTEGER fileSize{};
  if (!GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart > UINT32_MAX) return contents;
  const auto size = static_cast<uint32_t>(fileSize.QuadPart);
  if (expectedSize && *expectedSize != size) return contents;
  std::unique_ptr<char[]> data(new char[size == 0 ? 1 : size]);
  uint32_t done = 0;
  while (done < size) {
    DWORD n = 0;
    if (!ReadFile(file.get(), data.get() + done, size - done, &n, nullptr) || n == 0) {
      return contents;
    }
    done += n;
  }
  contents.data = std::move(data);
  contents.size = size;
  return contents;
}

}  // namespace kestrune
