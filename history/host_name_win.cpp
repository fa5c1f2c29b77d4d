#include <windows.h>

#include "history/host_name.h"
#include "update/text_conversion.h"

namespace kestrune {

std::string ThisHostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return {};
  return WideToUtf8Text(std::u16string(reinterpret_cast<const char16_t*>(name), size));
}

}  // namespace kestrune
