// The SetupAPI calls of device discovery, answered from the fake table.
#define _SETUPAPI_  // we define these functions, not import them
#include <windows.h>
#include <setupapi.h>

#include <string>

#include "fake_device_table.h"

using kestrune::fake::FakeDevice;

namespace {

struct FakeDeviceList {
  static constexpr DWORD kMagic = 0x4B534456;  // marks a list this DLL made
  DWORD magic = kMagic;
  std::vector<FakeDevice> devices;  // every slot of the table
  std::vector<std::size_t> listed;  // the slots that hold a device, in order

  // The slot of a device node this list handed out; false for any other.
  bool SlotOf(DWORD devInst, std::size_t& slot) const {
    if (devInst < kestrune::fake::kFirstDevInst) return false;
    const DWORD offset = devInst - kestrune::fake::kFirstDevInst;
    slot = offset / 2;
    return offset % 2 == 0 && slot < devices.size() && !devices[slot].ownId.empty();
  }
};

FakeDeviceList* AsList(HDEVINFO handle) {
  auto* list = static_cast<FakeDeviceList*>(handle);
  return list != nullptr && handle != INVALID_HANDLE_VALUE && list->magic == FakeDeviceList::kMagic
             ? list
             : nullptr;
}

}  // namespace

extern "C" {

// Only the query device discovery makes is answered: present devices with a
// COM-port interface.
HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                     DWORD flags) {
  if (!kestrune::fake::IsComPortInterfaceClass(classGuid) || enumerator != nullptr ||
      parent != nullptr || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto* list = new FakeDeviceList;
  list->devices = kestrune::fake::LoadDeviceTable();
  for (std::size_t slot = 0; slot < list->devices.size(); ++slot) {
    if (!list->devices[slot].ownId.empty()) list->listed.push_back(slot);
  }
  return list;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA data) {
  FakeDeviceList* list = AsList(handle);
  if (list == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (index >= list->listed.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  // The Ports setup class, {4D36E978-E325-11CE-BFC1-08002BE10318}.
  data->ClassGuid = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
  data->DevInst = kestrune::fake::DeviceDevInst(list->listed[index]);
  data->Reserved = 0;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO handle, PSP_DEVINFO_DATA data, PWSTR buffer,
                                        DWORD bufferSize, PDWORD requiredSize) {
  FakeDeviceList* list = AsList(handle);
  if (list == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::size_t slot = 0;
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) ||
      !list->SlotOf(data->DevInst, slot)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::wstring& id = list->devices[slot].ownId;
  const DWORD needed = static_cast<DWORD>(id.size() + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (buffer == nullptr || bufferSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  id.copy(buffer, id.size());
  buffer[id.size()] = L'\0';
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
  FakeDeviceList* list = AsList(handle);
  if (list == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  list->magic = 0;
  delete list;
  return TRUE;
}

}  // extern "C"
