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

std::wstring Variable(const wchar_t* name, bool& set) {
  std::wstring value;
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  set = size != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  if (size == 0) return value;
  value.resize(size);
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

// The whole file as UTF-16; empty when it cannot be read. Opened with every
// sharing mode, so that the test may replace it at any moment.
std::wstring ReadTableFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  if (bytes.empty()) return {};
  std::wstring text(bytes.size(), L'\0');
  text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  text.data(), static_cast<int>(text.size())));
  return text;
}

std::wstring TableText() {
  bool set = false;
  const std::wstring file = Variable(L"KESTRUNE_FAKE_DEVICES_FILE", set);
  if (set) return ReadTableFile(file);
  std::wstring text = Variable(L"KESTRUNE_FAKE_DEVICES", set);
  return set ? text : kDefaultTable;
}

}  // namespace

std::vector<FakeDevice> LoadDeviceTable() {
  const std::wstring text = TableText();
  std::vector<FakeDevice> devices;
  if (text.empty()) return devices;
  for (const auto& entry : Split(text, L';')) {
    std::vector<std::wstring> fields = Split(entry, L'|');
    if (fields.size() < 2 || fields[0].empty()) {
      devices.push_back({});  // a free slot
      continue;
    }
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
