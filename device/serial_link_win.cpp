// Windows: Asio's open already asks for a non-shared handle, binary mode and
// the 1 ms read interval, and puts "\\.\" in front of a name that does not
// begin with a backslash; flow_control::none raises DTR and RTS.
#include "device/serial_link_platform.h"

namespace kestrune {

void ClaimOpenedPort(boost::asio::serial_port&, boost::system::error_code& ec) { ec.clear(); }

void RaiseModemLines(boost::asio::serial_port&, boost::system::error_code& ec) { ec.clear(); }

void ReleasePortClaim(boost::asio::serial_port&) {}

}  // namespace kestrune
