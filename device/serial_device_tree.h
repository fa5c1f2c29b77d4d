#pragma once
// The serial-port devices of the operating system's device tree, as far as
// device discovery needs them, nothing more.
//
// Every query that fills a text buffer behaves like the Windows calls it
// stands for: the answer is written NUL-terminated when it fits the given
// capacity (in UTF-16 units, terminator included); when it does not fit, the
// query fails and the buffer is left as it was.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrune {

// A snapshot of the present devices that expose a serial port, in the
// platform's enumeration order. Destroying it releases the list.
class SerialDeviceList {
 public:
  virtual ~SerialDeviceList() = default;
  // Makes the device at this index the current one; false past the last.
  virtual bool SelectDevice(std::size_t index) = 0;
  // The current device's own instance ID.
  virtual bool ReadInstanceId(char16_t* buffer, std::size_t capacity) = 0;
  // The instance ID of the current device's parent node.
  virtual bool ReadParentId(char16_t* buffer, std::size_t capacity) = 0;

  // What the tree knows of the parent's USB identity apart from its ID text.
  enum class ParentUsbIdentity {
    kTextOnly,  // only what the parent's ID text says (SetupAPI)
    kUsb,       // the parent is a USB device (or one of its interfaces) with these IDs
    kNotUsb,    // the parent is no USB device
  };
  // Where a tree has the IDs as numbers, discovery compares them exactly: the
  // ID text also carries a serial number, which can read like an identity.
  virtual ParentUsbIdentity ReadParentUsbIdentity(std::uint16_t& vendorId,
                                                  std::uint16_t& productId) {
    (void)vendorId;
    (void)productId;
    return ParentUsbIdentity::kTextOnly;
  }

  // The serial number of the USB device the current device belongs to; false
  // when it has none (or only one the system made up) or the tree cannot say.
  virtual bool ReadUsbSerialNumber(char16_t* buffer, std::size_t capacity) {
    (void)buffer;
    (void)capacity;
    return false;
  }
  // Where that USB device is plugged in, as the tree names it; false when
  // the tree cannot say.
  virtual bool ReadUsbLocation(char16_t* buffer, std::size_t capacity) {
    (void)buffer;
    (void)capacity;
    return false;
  }
};

class SerialDeviceTree {
 public:
  virtual ~SerialDeviceTree() = default;
  // The present devices with a serial port, or null when no list can be had.
  virtual std::unique_ptr<SerialDeviceList> ListSerialPortDevices() = 0;
  // The serial-port interface paths of the device with this instance ID, as
  // NUL-terminated strings followed by an empty one.
  virtual bool ReadInterfacePaths(const char16_t* instanceId, char16_t* buffer,
                                  std::size_t capacity) = 0;
  // Whether the port can be opened for exclusive use right now; whatever the
  // probe opens is closed again before it returns.
  virtual bool ProbeExclusiveOpen(const char16_t* path) = 0;
};

// The operating system's own tree: SetupAPI on Windows, sysfs on Linux.
std::unique_ptr<SerialDeviceTree> SystemSerialDeviceTree();

}  // namespace kestrune
