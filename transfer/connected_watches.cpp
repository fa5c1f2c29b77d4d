#include "transfer/connected_watches.h"

#include "transfer/firmware_update.h"
#include "transfer/update_environment.h"
#include "update/text_conversion.h"

namespace kestrune {

WatchDiscovery ListConnectedWatches() {
  // Only the device tree is used; the name is the log's, which this never writes.
  const UpdateEnvironment environment = PlatformUpdateEnvironment("");
  return DiscoverWatches(environment.devices, kWatchVendorId, kWatchProductId);
}

WatchDiscovery DiscoverNotedWatches(SerialDeviceTree& devices, FirmwareUpdateReporter& reporter) {
  WatchDiscovery discovery =
      DiscoverWatches(devices, kWatchVendorId, kWatchProductId, PortProbe::kTreeOnly);
  for (const DiscoveredWatch& found : discovery.watches) {
    const std::string serial = WideToUtf8Text(found.usbSerial);
    const std::string location = WideToUtf8Text(found.usbLocation);
    reporter.Note("discovery: watch " + (serial.empty() ? "(no serial number)" : serial) + " on " +
                  WideToUtf8Text(found.portPath) + (location.empty() ? "" : " at " + location));
  }
  for (const PassedOverPort& port : discovery.passedOver) {
    reporter.Note("discovery: passed over " + WideToUtf8Text(port.instanceId) +
                  (port.path.empty() ? "" : ", port " + WideToUtf8Text(port.path)) + ": " +
                  port.reason);
  }
  return discovery;
}

const DiscoveredWatch* WatchAnUpdateWouldPick(const WatchDiscovery& found) {
  for (const DiscoveredWatch& watch : found.watches) {
    if (watch.opensNow) return &watch;
  }
  return found.watches.empty() ? nullptr : &found.watches.back();
}

}  // namespace kestrune
