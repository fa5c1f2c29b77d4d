#pragma once
// The device tree as Linux shows it in sysfs: serial ports are the ttys of
// /sys/class/tty that have a device behind them and a node in /dev. Each
// device node gets an identity text shaped like a Windows instance ID, so the
// same identity match works on both platforms:
//   USB device     USB\VID_1915&PID_52F0\<serial, or the sysfs name>
//   USB interface  USB\VID_1915&PID_52F0&MI_00\<sysfs name>
//   anything else  <SUBSYSTEM>\<sysfs name>, e.g. USB-SERIAL\ttyUSB0

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/serial_device_tree.h"

namespace kestrune {

class SysfsSerialDevices : public SerialDeviceTree {
 public:
  // sysfsRoot is /sys for the program; tests give a tree of their own.
  explicit SysfsSerialDevices(std::filesystem::path sysfsRoot);

  std::unique_ptr<SerialDeviceList> ListSerialPortDevices() override;
  bool ReadInterfacePaths(const char16_t* instanceId, char16_t* buffer,
                          std::size_t capacity) override;
  bool ProbeExclusiveOpen(const char16_t* path) override;

  struct SerialPort {
    std::filesystem::path device;  // the resolved device directory behind the tty
    std::string node;              // "/dev/<DEVNAME>"
  };
  // The present serial ports, ordered by tty name.
  std::vector<SerialPort> ScanSerialPorts() const;
  // The present serial ports with each one's device identity, from one look
  // at the tree.
  struct PortListing {
    std::vector<SerialPort> ports;
    std::vector<std::u16string> identities;  // of each port's device
  };
  std::shared_ptr<const PortListing> ListPorts() const;
  // The identity text of a device directory; empty when it is no device node
  // (the top of the device tree or outside it).
  std::u16string DeviceIdentity(const std::filesystem::path& device) const;
  // The USB vendor and product IDs read from a device directory's own
  // attributes: a USB device's, or for one of its interfaces, the device's.
  // False for any other node.
  bool UsbIds(const std::filesystem::path& device, std::uint16_t& vendorId,
              std::uint16_t& productId) const;
  // The USB device directory a node belongs to: the node itself when it is
  // a USB device, its device when it is one of its interfaces; empty for any
  // other node.
  std::filesystem::path UsbDeviceOf(const std::filesystem::path& device) const;
  // That USB device's serial number, and its place on the bus: its directory
  // name, busnum-devpath ("1-1.4"). Empty when there is none.
  std::u16string UsbSerialNumber(const std::filesystem::path& device) const;
  std::u16string UsbLocation(const std::filesystem::path& device) const;

 private:
  std::filesystem::path root_;
  // The listing of the device list last handed out, while that list lives:
  // a walk reads each watch's interface paths from the ports it listed
  // rather than from a new look at the tree, so one walk reads the tree
  // once, not once more per watch found.
  std::mutex walkedMutex_;
  std::weak_ptr<const PortListing> walked_;
};

}  // namespace kestrune
