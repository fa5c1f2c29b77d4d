#pragma once
// Every connected watch: each serial port whose device's parent has the
// watch's USB identity, with the USB device's serial number and where it is
// plugged in, and the ports passed over with the reason.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

class SerialDeviceTree;

// One watch that discovery found.
struct DiscoveredWatch {
  std::u16string portPath;     // "COM7" / "\\.\COM7" as the tree gives it, "/dev/ttyACM0"
  std::u16string usbSerial;    // the USB device's serial number; empty when it has none
  std::u16string usbLocation;  // where it is plugged in: "1-1.4" (sysfs bus path) on Linux,
                               // the location/path the tree gives on Windows
  bool opensNow = false;       // the port could be opened for exclusive use just now
  bool probed = false;         // whether the port was opened to tell opensNow
};

// A serial port discovery looked at and passed over, and why ("no parent",
// "parent is not the watch (2341:0043)", "no interface path", ...).
struct PassedOverPort {
  std::u16string instanceId;
  std::u16string path;  // empty when none could be read
  std::string reason;
};

struct WatchDiscovery {
  std::vector<DiscoveredWatch> watches;  // in the tree's enumeration order
  std::vector<PassedOverPort> passedOver;
  // False when the tree gave no device list: the lists are empty because
  // nothing could be read, not because nothing is plugged in.
  bool treeRead = false;
};

// How discovery looks at a watch's port.
enum class PortProbe {
  kOpenEach,  // opens each watch's port to tell whether it opens now
  kTreeOnly,  // reads the device tree only; no port is opened
};

// Every serial port of a device whose parent has this USB identity.
WatchDiscovery DiscoverWatches(SerialDeviceTree& tree, std::uint16_t vendorId,
                               std::uint16_t productId, PortProbe probe = PortProbe::kOpenEach);

}  // namespace kestrune
