// Windows opens a serial port for one handle only: a port another program
// holds fails to open, so no other holder of an open port can exist.
#include "device/port_holders.h"

namespace kestrune {

std::vector<PortHolder> OtherPortHolders(const std::string&) { return {}; }

}  // namespace kestrune
