#pragma once
// Finding the serial port of a USB device by its vendor and product IDs.

#include <cstdint>
#include <string>

namespace kestrune {

class SerialDeviceTree;

// Finds the serial port of a device whose parent node has this USB identity
// and returns its path, or an empty string.
std::u16string FindDevicePortPath(SerialDeviceTree& tree, std::uint16_t vendorId,
                                  std::uint16_t productId);

// The same search over the operating system's own device tree.
std::u16string FindDevicePortPath(std::uint16_t vendorId, std::uint16_t productId);

}  // namespace kestrune
