#pragma once
// The platform operations that device discovery is written against: the
// facts it needs of the operating system's device tree, nothing more.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class DevicePlatform {
 public:
  virtual ~DevicePlatform() = default;
  // (Exact operations are defined by the discovery implementation.)
};

// The operating system's device tree: SetupAPI on Windows, sysfs on Linux.
std::unique_ptr<DevicePlatform> CreatePlatformDevices();

// Finds the serial port of a device whose parent USB node has this
// identity; returns its path, or an empty string.
std::u16string FindDevicePortPath(DevicePlatform& platform, std::uint16_t vendorId,
                                  std::uint16_t productId);

}  // namespace kestrune
