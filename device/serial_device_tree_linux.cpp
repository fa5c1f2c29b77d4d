#include "device/serial_device_tree.h"
#include "device/sysfs_serial_devices.h"

namespace kestrune {

std::unique_ptr<SerialDeviceTree> SystemSerialDeviceTree() {
  return std::make_unique<SysfsSerialDevices>("/sys");
}

}  // namespace kestrune
