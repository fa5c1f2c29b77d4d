#include "device/watch_discovery.h"

#include <cstdio>
#include <string_view>

#include "device/serial_port_walk.h"

namespace kestrune {
namespace {

bool ParseHex4(std::u16string_view text, unsigned& value) {
  if (text.size() < 4) return false;
  value = 0;
  for (char16_t c : text.substr(0, 4)) {
    unsigned digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return false;
    value = value * 16 + digit;
  }
  return true;
}

// "VID_2341&PID_0043" anywhere in an ID text, in either case.
bool IdentityInText(std::u16string_view id, unsigned& vendorId, unsigned& productId) {
  std::u16string upper(id);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  const std::size_t at = upper.find(u"VID_");
  if (at == std::u16string::npos) return false;
  const std::u16string_view rest = std::u16string_view(upper).substr(at + 4);
  return ParseHex4(rest, vendorId) && rest.substr(4, 5) == u"&PID_" &&
         ParseHex4(rest.substr(9), productId);
}

std::string ParentReason(const WalkedPort& port) {
  unsigned vendorId = port.parentVendorId, productId = port.parentProductId;
  switch (port.parentIdentity) {
    case SerialDeviceList::ParentUsbIdentity::kNotUsb: return "parent is no USB device";
    case SerialDeviceList::ParentUsbIdentity::kUsb: break;
    case SerialDeviceList::ParentUsbIdentity::kTextOnly:
      if (!IdentityInText(port.parentId, vendorId, productId)) return "parent is not the watch";
      break;
  }
  char text[64];
  std::snprintf(text, sizeof text, "parent is not the watch (%04x:%04x)", vendorId, productId);
  return text;
}

std::string PassedOverReason(const WalkedPort& port) {
  switch (port.verdict) {
    case PortVerdict::kNoInstanceId: return "no instance ID";
    case PortVerdict::kNoParent: return "no parent";
    case PortVerdict::kParentIsAnotherDevice: return ParentReason(port);
    case PortVerdict::kNoInterfacePath:
    case PortVerdict::kOpens:
    case PortVerdict::kBusy:
    case PortVerdict::kListed: break;
  }
  return "no interface path";
}

}  // namespace

WatchDiscovery DiscoverWatches(SerialDeviceTree& tree, std::uint16_t vendorId,
                               std::uint16_t productId, PortProbe probe) {
  WatchDiscovery found;
  WalkSerialPorts(
      tree, vendorId, productId,
      [&found](const WalkedPort& port) {
        // A device whose interface list is empty has no port to name.
        const bool hasPort = *port.path != u'\0';
        if (hasPort && (port.verdict == PortVerdict::kOpens || port.verdict == PortVerdict::kBusy ||
                        port.verdict == PortVerdict::kListed)) {
          found.watches.push_back({port.path, port.usbSerial, port.usbLocation,
                                   port.verdict == PortVerdict::kOpens,
                                   port.verdict != PortVerdict::kListed});
        } else {
          found.passedOver.push_back({port.instanceId,
                                      *port.path != u'\0' ? port.path : port.otherPath,
                                      PassedOverReason(port)});
        }
        return true;
      },
      /*readOtherPaths=*/true, /*probePorts=*/probe == PortProbe::kOpenEach, &found.treeRead);
  return found;
}

}  // namespace kestrune
