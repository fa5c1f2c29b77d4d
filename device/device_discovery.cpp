#include <array>
#include <cstdio>
#include <string_view>

#include "device/device_discovery.h"
#include "device/serial_device_tree.h"

namespace kestrune {
namespace {

constexpr std::size_t kPatternCapacity = 1024;
constexpr std::size_t kInstanceIdCapacity = 8192;
constexpr std::size_t kParentIdCapacity = 1024;
constexpr std::size_t kInterfaceListCapacity = 1024;

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
                   const std::u16string& pattern, std::uint16_t vendorId, std::uint16_t productId) {
  std::uint16_t parentVendorId = 0, parentProductId = 0;
  switch (devices.ReadParentUsbIdentity(parentVendorId, parentProductId)) {
    case SerialDeviceList::ParentUsbIdentity::kUsb:
      return parentVendorId == vendorId && parentProductId == productId;
    case SerialDeviceList::ParentUsbIdentity::kNotUsb: return false;
    case SerialDeviceList::ParentUsbIdentity::kTextOnly: break;
  }
  std::char_traits<char16_t>::copy(upperParentId, parentId,
                                   std::char_traits<char16_t>::length(parentId) + 1);
  ToUpperAscii(upperParentId);
  return std::u16string_view(upperParentId).find(pattern) != std::u16string_view::npos;
}

}  // namespace

std::u16string FindDevicePortPath(SerialDeviceTree& tree, std::uint16_t vendorId,
                                  std::uint16_t productId,
                                  std::vector<DiscoveryCandidate>* candidates) {
  const std::u16string pattern = IdentityPattern(vendorId, productId);
  DiscoveryCandidate ignored;
  auto look = [&]() -> DiscoveryCandidate& {
    if (candidates == nullptr) return ignored;
    candidates->emplace_back();
    return candidates->back();
  };

  // Zeroed once: when no port opens, the result is the first path of the last
  // interface list that was read.
  std::array<char16_t, kInterfaceListCapacity> interfaceList{};
  std::array<char16_t, kInstanceIdCapacity> instanceId{};
  std::array<char16_t, kParentIdCapacity> parentId{};
  std::array<char16_t, kParentIdCapacity> upperParentId{};

  if (std::unique_ptr<SerialDeviceList> devices = tree.ListSerialPortDevices()) {
    for (std::size_t index = 0; devices->SelectDevice(index); ++index) {
      DiscoveryCandidate& candidate = look();
      if (!devices->ReadInstanceId(instanceId.data(), instanceId.size())) {
        candidate.verdict = "no instance ID";
        continue;
      }
      instanceId.back() = u'\0';
      if (candidates != nullptr) candidate.instanceId = instanceId.data();
      parentId.fill(u'\0');
      if (!devices->ReadParentId(parentId.data(), parentId.size())) {
        candidate.verdict = "no parent";
        continue;
      }
      parentId.back() = u'\0';
      if (candidates != nullptr) candidate.parentId = parentId.data();
      // Only the parent's identity counts: a composite device's port sits
      // under the USB device node that carries the vendor and product IDs.
      if (!ParentMatches(*devices, parentId.data(), upperParentId.data(), pattern, vendorId,
                         productId)) {
        if (candidates != nullptr) {
          candidate.verdict = "parent is not " + std::string(pattern.begin(), pattern.end());
        }
        continue;
      }
      if (!tree.ReadInterfacePaths(instanceId.data(), interfaceList.data(), interfaceList.size())) {
        candidate.verdict = "no interface path";
        continue;
      }
      interfaceList.back() = u'\0';
      if (candidates != nullptr) candidate.path = interfaceList.data();
      if (tree.ProbeExclusiveOpen(interfaceList.data())) {
        candidate.verdict = "picked";
        break;
      }
      candidate.verdict = "port busy";
    }
  }  // the device list is released here, before the result is made
  return std::u16string(interfaceList.data());
}

}  // namespace kestrune
