#pragma once
// Test-only stand-in for the USB device tree under Wine, whose own SetupAPI
// lists no COM ports. The table of devices is read at every query, from the
// file named by KESTRUNE_FAKE_DEVICES_FILE (UTF-8; missing: no devices),
// which a test may replace while the program runs to plug devices in and
// out, else from the environment variable KESTRUNE_FAKE_DEVICES:
//   devices separated by ';', the fields of one device by '|':
//     <own instance ID>|<parent instance ID>[|location=<text>][|locationpaths=<text>]
//         |<interface path>[|<interface path>...]
//   an empty parent ID makes the parent query fail; location= and
//   locationpaths= give the parent node's location information and its
//   (one) location path, which it otherwise does not have.
//   An empty entry is a free slot: no device is listed there, and it keeps
//   the devices after it in their places. A device's node number comes from
//   its place, so a table that frees the slot of an unplugged device and
//   fills free slots or the end with new ones leaves every other node as it
//   was, also for a listing made just before the change.
// Set but empty: no devices. Unset: one dive watch whose COM port is \\.\COM7.
#include <windows.h>

#include <string>
#include <vector>

namespace kestrune::fake {

struct FakeDevice {
  std::wstring ownId;  // empty: a free slot, no device
  std::wstring parentId;
  std::vector<std::wstring> interfacePaths;
  std::wstring parentLocation;       // empty: none
  std::wstring parentLocationPaths;  // empty: none
};

// Every slot of the table, free ones included.
std::vector<FakeDevice> LoadDeviceTable();

// Device nodes handed out: the device in slot i is 0x1000 + 2i, its parent
// the next one.
constexpr DWORD kFirstDevInst = 0x1000;
inline DWORD DeviceDevInst(std::size_t index) {
  return kFirstDevInst + 2 * static_cast<DWORD>(index);
}

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}
bool IsComPortInterfaceClass(const GUID* guid);

}  // namespace kestrune::fake
