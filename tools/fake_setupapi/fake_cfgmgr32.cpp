// The configuration manager calls of device discovery, answered from the
// fake table.
#define _CFGMGR32_  // we define these functions, not import them
#include <windows.h>
#include <cfgmgr32.h>

#include <string>

#include "fake_device_table.h"

namespace {

using kestrune::fake::FakeDevice;

// The table entry of a device node, and whether the node is its parent.
const FakeDevice* FindNode(const std::vector<FakeDevice>& devices, DEVINST node, bool& isParent) {
  if (node < kestrune::fake::kFirstDevInst) return nullptr;
  const DWORD offset = node - kestrune::fake::kFirstDevInst;
  // A free slot: the device that was there has been unplugged.
  if (offset / 2 >= devices.size() || devices[offset / 2].ownId.empty()) return nullptr;
  isParent = offset % 2 == 1;
  return &devices[offset / 2];
}

}  // namespace

extern "C" {

CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG flags) {
  if (parent == nullptr) return CR_INVALID_POINTER;
  *parent = 0;
  if (flags != 0) return CR_INVALID_FLAG;
  std::vector<FakeDevice> devices = kestrune::fake::LoadDeviceTable();
  bool isParent = false;
  const FakeDevice* device = FindNode(devices, node, isParent);
  if (device == nullptr) return CR_INVALID_DEVNODE;
  if (isParent || device->parentId.empty()) return CR_NO_SUCH_DEVNODE;
  *parent = node + 1;
  return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG bufferLen, ULONG flags) {
  if (buffer == nullptr) return CR_INVALID_POINTER;
  if (flags != 0) return CR_INVALID_FLAG;
  std::vector<FakeDevice> devices = kestrune::fake::LoadDeviceTable();
  bool isParent = false;
  const FakeDevice* device = FindNode(devices, node, isParent);
  if (device == nullptr) return CR_INVALID_DEVNODE;
  const std::wstring& id = isParent ? device->parentId : device->ownId;
  if (bufferLen < id.size() + 1) return CR_BUFFER_SMALL;
  id.copy(buffer, id.size());
  buffer[id.size()] = L'\0';
  return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_Interface_List_ExW(LPGUID interfaceClass, DEVINSTID_W deviceId,
                                                  PWCHAR buffer, ULONG bufferLen, ULONG flags,
                                                  HMACHINE machine) {
  if (buffer == nullptr) return CR_INVALID_POINTER;
  if (!kestrune::fake::IsComPortInterfaceClass(interfaceClass)) return CR_INVALID_DATA;
  if (flags != CM_GET_DEVICE_INTERFACE_LIST_PRESENT) return CR_INVALID_FLAG;
  if (machine != nullptr) return CR_MACHINE_UNAVAILABLE;
  std::vector<std::wstring> paths;
  bool known = false;
  for (const auto& device : kestrune::fake::LoadDeviceTable()) {
    if (device.ownId.empty()) continue;
    if (deviceId != nullptr && _wcsicmp(device.ownId.c_str(), deviceId) != 0) continue;
    known = true;
    paths.insert(paths.end(), device.interfacePaths.begin(), device.interfacePaths.end());
  }
  if (deviceId != nullptr && !known) return CR_NO_SUCH_DEVINST;
  std::size_t needed = 1;
  for (const auto& path : paths) needed += path.size() + 1;
  if (bufferLen < needed) return CR_BUFFER_SMALL;
  for (const auto& path : paths) {
    buffer += path.copy(buffer, path.size());
    *buffer++ = L'\0';
  }
  *buffer = L'\0';
  return CR_SUCCESS;
}

// The location of a parent node, the one property discovery reads.
CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyW(DEVINST node, ULONG property, PULONG type,
                                                   PVOID buffer, PULONG length, ULONG flags) {
  if (length == nullptr) return CR_INVALID_POINTER;
  if (flags != 0) return CR_INVALID_FLAG;
  std::vector<FakeDevice> devices = kestrune::fake::LoadDeviceTable();
  bool isParent = false;
  const FakeDevice* device = FindNode(devices, node, isParent);
  if (device == nullptr) return CR_INVALID_DEVNODE;
  const std::wstring* text = nullptr;
  if (isParent && property == CM_DRP_LOCATION_INFORMATION) text = &device->parentLocation;
  if (isParent && property == CM_DRP_LOCATION_PATHS) text = &device->parentLocationPaths;
  if (text == nullptr || text->empty()) return CR_NO_SUCH_VALUE;
  // A string, or a list of one string and the empty one that ends it.
  const bool list = property == CM_DRP_LOCATION_PATHS;
  std::wstring data = *text + L'\0';
  if (list) data += L'\0';
  const ULONG needed = static_cast<ULONG>(data.size() * sizeof(wchar_t));
  if (type != nullptr) *type = list ? REG_MULTI_SZ : REG_SZ;
  if (buffer == nullptr || *length < needed) {
    *length = needed;
    return CR_BUFFER_SMALL;
  }
  data.copy(static_cast<wchar_t*>(buffer), data.size());
  *length = needed;
  return CR_SUCCESS;
}

}  // extern "C"
