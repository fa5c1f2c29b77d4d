#include <windows.h>

#include "update/replace_file.h"

namespace kestrune {
namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::string Failed(const char* operation) {
  return std::string(operation) + ": error " + std::to_string(GetLastError());
}

}  // namespace

bool ReplaceFileContents(const std::u16string& path, const std::string& bytes, std::string& error) {
  // Named by the process, so two programs writing the same file at once do
  // not write into each other's temporary file.
  std::u16string temp = path + u".";
  for (const char digit : std::to_string(GetCurrentProcessId())) temp += char16_t(digit);
  temp += u".tmp";
  HANDLE file = CreateFileW(Wide(temp), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = Failed("CreateFileW");
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  if (!ok) error = Failed("WriteFile");
  if (ok && !FlushFileBuffers(file)) {
    ok = false;
    error = Failed("FlushFileBuffers");
  }
  CloseHandle(file);
  if (ok &&
      !MoveFileExW(Wide(temp), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    error = Failed("MoveFileExW");
  }
  if (!ok) DeleteFileW(Wide(temp));
  return ok;
}

}  // namespace kestrune
