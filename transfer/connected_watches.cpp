#include "transfer/connected_watches.h"

#include "transfer/firmware_update.h"
#include "transfer/update_environment.h"

namespace kestrune {

WatchDiscovery ListConnectedWatches() {
  // Only the device tree is used; the name is the log's, which this never writes.
  const UpdateEnvironment environment = PlatformUpdateEnvironment("");
  return DiscoverWatches(environment.devices, kWatchVendorId, kWatchProductId);
}

const DiscoveredWatch* WatchAnUpdateWouldPick(const WatchDiscovery& found) {
  for (const DiscoveredWatch& watch : found.watches) {
    if (watch.opensNow) return &watch;
  }
  return found.watches.empty() ? nullptr : &found.watches.back();
}

}  // namespace kestrune
