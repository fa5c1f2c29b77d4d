#pragma once
// The one walk over the tree's serial-port devices that both the search for
// the port to update and the list of every connected watch are made of. Its
// text buffers are bounded the way the Windows calls are: an answer that
// does not fit passes the device over.

#include <cstdint>
#include <functional>
#include <string>

#include "device/serial_device_tree.h"

namespace kestrune {

// What became of one serial-port device, in the order the walk decides it.
enum class PortVerdict {
  kNoInstanceId,
  kNoParent,
  kParentIsAnotherDevice,
  kNoInterfacePath,
  kOpens,
  kBusy,
  kListed,  // a port of the identity, not opened to see whether it could be
};

// One device the walk looked at. The texts are empty until read and live
// only as long as the visit.
struct WalkedPort {
  PortVerdict verdict = PortVerdict::kNoInstanceId;
  const char16_t* instanceId = u"";
  const char16_t* parentId = u"";
  const char16_t* path = u"";  // the first interface path
  // The first interface path of a device whose parent is another device,
  // read only when the walk is asked to.
  const char16_t* otherPath = u"";
  // The parent's USB identity as the tree knows it (for the reason a device
  // is passed over); kTextOnly when only its ID text tells.
  SerialDeviceList::ParentUsbIdentity parentIdentity =
      SerialDeviceList::ParentUsbIdentity::kTextOnly;
  std::uint16_t parentVendorId = 0;
  std::uint16_t parentProductId = 0;
  // Read only for a device with the identity and a port.
  const char16_t* usbSerial = u"";
  const char16_t* usbLocation = u"";
};

// Called once per device while the device list is held; false ends the walk.
using PortVisitor = std::function<bool(const WalkedPort&)>;

// Walks every serial-port device, probing the port of each one with the
// identity when `probePorts` (otherwise only the tree is read: kListed);
// with `readOtherPaths` it also reads the port of each device whose parent
// is another one. Returns the first path of the last interface
// list read for a device with the identity (empty when none was), once the
// device list has been released. `listed`, when given, says whether the
// tree gave a device list at all (false: it could not be read, and the
// walk visited nothing for that reason, not for want of devices).
std::u16string WalkSerialPorts(SerialDeviceTree& tree, std::uint16_t vendorId,
                               std::uint16_t productId, const PortVisitor& visit,
                               bool readOtherPaths = false, bool probePorts = true,
                               bool* listed = nullptr);

}  // namespace kestrune
