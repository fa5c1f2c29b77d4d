#pragma once
// The watches connected to this computer now, as the program's own device
// tree shows them, for a front-end that lists them.

#include "device/watch_discovery.h"

namespace kestrune {

class FirmwareUpdateReporter;
class SerialDeviceTree;

// Every port of a device with the watch's USB identity, in the tree's
// order, and the serial ports passed over with the reason.
WatchDiscovery ListConnectedWatches();

// Every watch in `devices` now, from the tree alone (no port is opened, so
// opensNow is never told), with each one found and each port passed over
// noted to `reporter` for the run log.
WatchDiscovery DiscoverNotedWatches(SerialDeviceTree& devices, FirmwareUpdateReporter& reporter);

// The watch an update run opens: the first whose port opens now, else the
// last one found (whose port then cannot be opened); null when none was.
const DiscoveredWatch* WatchAnUpdateWouldPick(const WatchDiscovery& found);

}  // namespace kestrune
