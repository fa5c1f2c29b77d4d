#include "device/device_discovery.h"

#include <cstdio>

#include "device/serial_port_walk.h"

namespace kestrune {
namespace {

const char* VerdictText(PortVerdict verdict) {
  switch (verdict) {
    case PortVerdict::kNoInstanceId: return "no instance ID";
    case PortVerdict::kNoParent: return "no parent";
    case PortVerdict::kParentIsAnotherDevice: break;  // names the identity looked for
    case PortVerdict::kNoInterfacePath: return "no interface path";
    case PortVerdict::kOpens: return "picked";
    case PortVerdict::kBusy: return "port busy";
    case PortVerdict::kListed: break;  // the search always probes
  }
  return "";
}

}  // namespace

std::u16string FindDevicePortPath(SerialDeviceTree& tree, std::uint16_t vendorId,
                                  std::uint16_t productId,
                                  std::vector<DiscoveryCandidate>* candidates) {
  char identity[32];
  std::snprintf(identity, sizeof identity, "VID_%04X&PID_%04X", static_cast<unsigned>(vendorId),
                static_cast<unsigned>(productId));
  // The first port that opens is the one; a busy one is passed over for a
  // later one that opens.
  return WalkSerialPorts(tree, vendorId, productId, [&](const WalkedPort& port) {
    if (candidates != nullptr) {
      DiscoveryCandidate candidate;
      candidate.instanceId = port.instanceId;
      candidate.parentId = port.parentId;
      candidate.path = port.path;
      candidate.verdict = port.verdict == PortVerdict::kParentIsAnotherDevice
                              ? std::string("parent is not ") + identity
                              : VerdictText(port.verdict);
      candidates->push_back(std::move(candidate));
    }
    return port.verdict != PortVerdict::kOpens;
  });
}

}  // namespace kestrune
