// The serial-port devices of the device tree through SetupAPI and the
// configuration manager.
#include <windows.h>
// windows.h first: the device headers build on its types.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/serial_device_tree.h"

namespace kestrune {
namespace {

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}, the COM-port device interface class.
const GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// Runs a query into a wchar_t buffer of the caller's capacity and hands the
// answer over only when the query succeeded, so a failure leaves the
// caller's buffer as it was.
template <typename Query>
bool QueryText(char16_t* buffer, std::size_t capacity, Query query) {
  std::vector<wchar_t> text(capacity, L'\0');
  if (!query(text.data(), static_cast<DWORD>(capacity))) return false;
  std::copy(text.begin(), text.end(), buffer);
  return true;
}

std::wstring ToWide(const char16_t* text) {
  std::wstring wide;
  for (; *text != u'\0'; ++text) wide.push_back(static_cast<wchar_t>(*text));
  return wide;
}

class SetupApiDeviceList : public SerialDeviceList {
 public:
  explicit SetupApiDeviceList(HDEVINFO list) : list_(list) {}
  ~SetupApiDeviceList() override { SetupDiDestroyDeviceInfoList(list_); }
  SetupApiDeviceList(const SetupApiDeviceList&) = delete;
  SetupApiDeviceList& operator=(const SetupApiDeviceList&) = delete;

  bool SelectDevice(std::size_t index) override {
    device_ = SP_DEVINFO_DATA{};
    device_.cbSize = sizeof device_;
    return SetupDiEnumDeviceInfo(list_, static_cast<DWORD>(index), &device_) != FALSE;
  }
  bool ReadInstanceId(char16_t* buffer, std::size_t capacity) override {
    return QueryText(buffer, capacity, [&](wchar_t* text, DWORD size) {
      return SetupDiGetDeviceInstanceIdW(list_, &device_, text, size, nullptr) != FALSE;
    });
  }
  bool ReadParentId(char16_t* buffer, std::size_t capacity) override {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, device_.DevInst, 0) != CR_SUCCESS) return false;
    return QueryText(buffer, capacity, [&](wchar_t* text, DWORD size) {
      return CM_Get_Device_IDW(parent, text, size, 0) == CR_SUCCESS;
    });
  }

 private:
  HDEVINFO list_;
  SP_DEVINFO_DATA device_{};
};

class SetupApiSerialDeviceTree : public SerialDeviceTree {
 public:
  std::unique_ptr<SerialDeviceList> ListSerialPortDevices() override {
    HDEVINFO list = SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<SetupApiDeviceList>(list);
  }

  bool ReadInterfacePaths(const char16_t* instanceId, char16_t* buffer,
                          std::size_t capacity) override {
    std::wstring id = ToWide(instanceId);
    return QueryText(buffer, capacity, [&](wchar_t* text, DWORD size) {
      return CM_Get_Device_Interface_List_ExW(const_cast<GUID*>(&kComPortInterface), id.data(),
                                              text, size, CM_GET_DEVICE_INTERFACE_LIST_PRESENT,
                                              nullptr) == CR_SUCCESS;
    });
  }

  bool ProbeExclusiveOpen(const char16_t* path) override {
    std::wstring name = ToWide(path);
    HANDLE port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    CloseHandle(port);
    return true;
  }
};

}  // namespace

std::unique_ptr<SerialDeviceTree> SystemSerialDeviceTree() {
  return std::make_unique<SetupApiSerialDeviceTree>();
}

}  // namespace kestrune
