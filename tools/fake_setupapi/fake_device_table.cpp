#include "fake_device_table.h"

namespace kestrune::fake {
namespace {

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
    if (end == std::wstring::npos) return parts;
    start = end + 1;
  }
}

const wchar_t kDefaultTable[] =
    L"USB\\VID_1915&PID_52F0&MI_00\\7&2F1E6B0&0&0000|USB\\VID_1915&PID_52F0\\KS0001|\\\\.\\COM7";

}  // namespace

std::vector<FakeDevice> LoadDeviceTable() {
  std::wstring text;
  DWORD size = GetEnvironmentVariableW(L"KESTRUNE_FAKE_DEVICES", nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) text = kDefaultTable;
  } else {
    text.resize(size);
    text.resize(GetEnvironmentVariableW(L"KESTRUNE_FAKE_DEVICES", text.data(), size));
  }
  std::vector<FakeDevice> devices;
  if (text.empty()) return devices;
  for (const auto& entry : Split(text, L';')) {
    std::vector<std::wstring> fields = Split(entry, L'|');
    if (fields.size() < 2 || fields[0].empty()) continue;
    FakeDevice device{fields[0], fields[1], {}, {}, {}};
    for (auto field = fields.begin() + 2; field != fields.end(); ++field) {
      if (field->rfind(L"location=", 0) == 0)
        device.parentLocation = field->substr(9);
      else if (field->rfind(L"locationpaths=", 0) == 0)
        device.parentLocationPaths = field->substr(14);
      else
        device.interfacePaths.push_back(*field);
    }
    devices.push_back(std::move(device));
  }
  return devices;
}

bool IsComPortInterfaceClass(const GUID* guid) {
  static const GUID kComPort = {
      0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
  return guid != nullptr && IsEqualGUID(*guid, kComPort);
}

}  // namespace kestrune::fake
