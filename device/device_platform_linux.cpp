#include "device/device_platform.h"
#include "device/sysfs_serial_devices.h"

namespace kestrune {

std::unique_ptr<DevicePlatform> CreatePlatformDevices() {
  return std::make_unique<SysfsSerialDevices>("/sys");
}

}  // namespace kestrune
