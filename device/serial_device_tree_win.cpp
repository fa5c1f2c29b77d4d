// The serial-port devices of the device tree through SetupAPI and the
// configuration manager (the latter from System32 alone).
#include <windows.h>
// windows.h first: the device headers build on its types.
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/cfgmgr32_functions_win.h"
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

// Hands `text` over NUL-terminated when it is not empty and fits.
bool CopyOut(const std::wstring& text, char16_t* buffer, std::size_t capacity) {
  if (text.empty() || text.size() + 1 > capacity) return false;
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  return true;
}

// A device ID is at most MAX_DEVICE_ID_LEN (200) units; this leaves room.
constexpr std::size_t kDeviceIdCapacity = 1024;
// A location path list ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)" and more).
constexpr std::size_t kLocationCapacity = 1024;

// A text property of a device node: the first string of a list, or the
// string itself; empty when the node has none or it does not fit.
std::wstring NodeTextProperty(const Cfgmgr32Functions& cm, DEVINST node, ULONG property) {
  std::vector<wchar_t> text(kLocationCapacity, L'\0');
  ULONG type = 0;
  ULONG bytes = static_cast<ULONG>((text.size() - 1) * sizeof(wchar_t));
  if (cm.CM_Get_DevNode_Registry_PropertyW(node, property, &type, text.data(), &bytes, 0) !=
          CR_SUCCESS ||
      (type != REG_SZ && type != REG_MULTI_SZ))
    return {};
  return std::wstring(text.data());
}

std::wstring ToWide(const char16_t* text) {
  std::wstring wide;
  for (; *text != u'\0'; ++text) wide.push_back(static_cast<wchar_t>(*text));
  return wide;
}

class SetupApiDeviceList : public SerialDeviceList {
 public:
  SetupApiDeviceList(HDEVINFO list, const Cfgmgr32Functions& cm) : list_(list), cm_(cm) {}
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
    if (cm_.CM_Get_Parent(&parent, device_.DevInst, 0) != CR_SUCCESS) return false;
    return QueryText(buffer, capacity, [&](wchar_t* text, DWORD size) {
      return cm_.CM_Get_Device_IDW(parent, text, size, 0) == CR_SUCCESS;
    });
  }
  // The parent is the USB device whose ID ends in its serial number:
  // USB\VID_1915&PID_52F0\<serial>. Windows makes up an ID part with '&'
  // in it for a device that reports none.
  bool ReadUsbSerialNumber(char16_t* buffer, std::size_t capacity) override {
    DEVINST parent = 0;
    std::vector<wchar_t> id(kDeviceIdCapacity, L'\0');
    if (cm_.CM_Get_Parent(&parent, device_.DevInst, 0) != CR_SUCCESS ||
        cm_.CM_Get_Device_IDW(parent, id.data(), static_cast<ULONG>(id.size()), 0) != CR_SUCCESS)
      return false;
    const std::wstring parentId(id.data());
    if (_wcsnicmp(parentId.c_str(), L"USB\\", 4) != 0) return false;
    const std::wstring serial = parentId.substr(parentId.rfind(L'\\') + 1);
    if (serial.find(L'&') != std::wstring::npos) return false;
    return CopyOut(serial, buffer, capacity);
  }
  // Where the parent USB device is plugged in: its location paths (the
  // first of them), else its location text ("Port_#0004.Hub_#0003").
  bool ReadUsbLocation(char16_t* buffer, std::size_t capacity) override {
    DEVINST parent = 0;
    if (cm_.CM_Get_Parent(&parent, device_.DevInst, 0) != CR_SUCCESS) return false;
    std::wstring location = NodeTextProperty(cm_, parent, CM_DRP_LOCATION_PATHS);
    if (location.empty()) location = NodeTextProperty(cm_, parent, CM_DRP_LOCATION_INFORMATION);
    return CopyOut(location, buffer, capacity);
  }

 private:
  HDEVINFO list_;
  const Cfgmgr32Functions& cm_;
  SP_DEVINFO_DATA device_{};
};

class SetupApiSerialDeviceTree : public SerialDeviceTree {
 public:
  // No list when cfgmgr32.dll cannot be had from System32.
  std::unique_ptr<SerialDeviceList> ListSerialPortDevices() override {
    const Cfgmgr32Functions* cm = SystemCfgmgr32();
    if (cm == nullptr) return nullptr;
    HDEVINFO list = SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<SetupApiDeviceList>(list, *cm);
  }

  bool ReadInterfacePaths(const char16_t* instanceId, char16_t* buffer,
                          std::size_t capacity) override {
    const Cfgmgr32Functions* cm = SystemCfgmgr32();
    if (cm == nullptr) return false;
    std::wstring id = ToWide(instanceId);
    return QueryText(buffer, capacity, [&](wchar_t* text, DWORD size) {
      return cm->CM_Get_Device_Interface_List_ExW(const_cast<GUID*>(&kComPortInterface), id.data(),
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
