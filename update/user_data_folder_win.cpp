#include "update/user_data_folder.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace kestrune {

std::u16string GetUserDataFolder(const std::u16string& name) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, path))) {
    return u"";
  }
  if (!PathAppendW(path, reinterpret_cast<const wchar_t*>(name.c_str()))) return u"";
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(path, nullptr);
  return std::u16string(reinterpret_cast<const char16_t*>(path));
}

}  // namespace kestrune
