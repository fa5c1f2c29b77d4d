#include "device/serial_port_walk.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace kestrune {
namespace {

constexpr std::size_t kPatternCapacity = 1024;
constexpr std::size_t kInstanceIdCapacity = 8192;
constexpr std::size_t kParentIdCapacity = 1024;
constexpr std::size_t kInterfaceListCapacity = 1024;
// A USB string descriptor holds at most 126 UTF-16 units.
constexpr std::size_t kUsbSerialCapacity = 256;
constexpr std::size_t kUsbLocationCapacity = 1024;

// "VID_%04X&PID_%04X" as UTF-16.
std::u16string IdentityPattern(std::uint16_t vendorId, std::uint16_t productId) {
  char text[kPatternCapacity];
  std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", static_cast<unsigned>(vendorId),
                static_cast<unsigned>(productId));
  std::u16string pattern;
  for (const char* c = text; *c != '\0'; ++c) pattern.push_back(static_cast<char16_t>(*c));
  return pattern;
}

// The program runs in the "C" locale, where upper-casing touches a-z only.
void ToUpperAscii(char16_t* text) {
  for (; *text != u'\0'; ++text) {
    if (*text >= u'a' && *text <= u'z') *text = static_cast<char16_t>(*text - u'a' + u'A');
  }
}

// The exact IDs where the tree has them, else the pattern anywhere in the
// upper-cased parent ID.
bool ParentMatches(SerialDeviceList& devices, const char16_t* parentId, char16_t* upperParentId,
                   const std::u16string& pattern, std::uint16_t vendorId, std::uint16_t productId,
                   WalkedPort& port) {
  port.parentIdentity = devices.ReadParentUsbIdentity(port.parentVendorId, port.parentProductId);
  switch (port.parentIdentity) {
    case SerialDeviceList::ParentUsbIdentity::kUsb:
      return port.parentVendorId == vendorId && port.parentProductId == productId;
    case SerialDeviceList::ParentUsbIdentity::kNotUsb: return false;
    case SerialDeviceList::ParentUsbIdentity::kTextOnly: break;
  }
  std::char_traits<char16_t>::copy(upperParentId, parentId,
                                   std::char_traits<char16_t>::length(parentId) + 1);
  ToUpperAscii(upperParentId);
  return std::u16string_view(upperParentId).find(pattern) != std::u16string_view::npos;
}

}  // namespace

std::u16string WalkSerialPorts(SerialDeviceTree& tree, std::uint16_t vendorId,
                               std::uint16_t productId, const PortVisitor& visit,
                               bool readOtherPaths, bool probePorts, bool* listed) {
  const std::u16string pattern = IdentityPattern(vendorId, productId);

  // Zeroed once: when no port opens, the result is the first path of the last
  // interface list that was read.
  std::array<char16_t, kInterfaceListCapacity> interfaceList{};
  std::array<char16_t, kInstanceIdCapacity> instanceId{};
  std::array<char16_t, kParentIdCapacity> parentId{};
  std::array<char16_t, kParentIdCapacity> upperParentId{};
  std::array<char16_t, kUsbSerialCapacity> usbSerial{};
  std::array<char16_t, kUsbLocationCapacity> usbLocation{};
  // Apart from interfaceList, so that it never becomes the result.
  std::array<char16_t, kInterfaceListCapacity> otherList{};

  std::unique_ptr<SerialDeviceList> devices = tree.ListSerialPortDevices();
  if (listed != nullptr) *listed = devices != nullptr;
  if (devices) {
    for (std::size_t index = 0; devices->SelectDevice(index); ++index) {
      WalkedPort port;
      if (!devices->ReadInstanceId(instanceId.data(), instanceId.size())) {
        port.verdict = PortVerdict::kNoInstanceId;
        if (!visit(port)) break;
        continue;
      }
      instanceId.back() = u'\0';
      port.instanceId = instanceId.data();
      parentId.fill(u'\0');
      if (!devices->ReadParentId(parentId.data(), parentId.size())) {
        port.verdict = PortVerdict::kNoParent;
        if (!visit(port)) break;
        continue;
      }
      parentId.back() = u'\0';
      port.parentId = parentId.data();
      // Only the parent's identity counts: a composite device's port sits
      // under the USB device node that carries the vendor and product IDs.
      if (!ParentMatches(*devices, parentId.data(), upperParentId.data(), pattern, vendorId,
                         productId, port)) {
        port.verdict = PortVerdict::kParentIsAnotherDevice;
        otherList.fill(u'\0');
        if (readOtherPaths &&
            tree.ReadInterfacePaths(instanceId.data(), otherList.data(), otherList.size())) {
          otherList.back() = u'\0';
          port.otherPath = otherList.data();
        }
        if (!visit(port)) break;
        continue;
      }
      if (!tree.ReadInterfacePaths(instanceId.data(), interfaceList.data(), interfaceList.size())) {
        port.verdict = PortVerdict::kNoInterfacePath;
        if (!visit(port)) break;
        continue;
      }
      interfaceList.back() = u'\0';
      port.path = interfaceList.data();
      // A serial number or location that cannot be read (or does not fit)
      // is left empty: the port is still the watch's.
      usbSerial.fill(u'\0');
      if (devices->ReadUsbSerialNumber(usbSerial.data(), usbSerial.size())) {
        usbSerial.back() = u'\0';
        port.usbSerial = usbSerial.data();
      }
      usbLocation.fill(u'\0');
      if (devices->ReadUsbLocation(usbLocation.data(), usbLocation.size())) {
        usbLocation.back() = u'\0';
        port.usbLocation = usbLocation.data();
      }
      // Opening a port toggles a real watch's DTR and RTS and disturbs
      // another program using it: only a probe that is asked for opens it.
      port.verdict = !probePorts                                     ? PortVerdict::kListed
                     : tree.ProbeExclusiveOpen(interfaceList.data()) ? PortVerdict::kOpens
                                                                     : PortVerdict::kBusy;
      if (!visit(port)) break;
    }
  }
  devices.reset();  // the device list is released before the result is made
  return std::u16string(interfaceList.data());
}

}  // namespace kestrune
