#pragma once
// Finding the serial port of a USB device by its vendor and product IDs.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

class SerialDeviceTree;

// One serial-port device that discovery looked at, and what became of it.
struct DiscoveryCandidate {
  std::u16string instanceId;
  std::u16string parentId;
  std::u16string path;  // its first interface path, once read
  // "picked", or why not: "no instance ID", "no parent", "parent is not
  // VID_xxxx&PID_yyyy", "no interface path", "port busy".
  std::string verdict;
};

// Finds the serial port of a device whose parent node has this USB identity
// and returns its path, or an empty string. With `candidates`, every device
// looked at is appended to it in order, with its verdict.
std::u16string FindDevicePortPath(SerialDeviceTree& tree, std::uint16_t vendorId,
                                  std::uint16_t productId,
                                  std::vector<DiscoveryCandidate>* candidates = nullptr);

}  // namespace kestrune
