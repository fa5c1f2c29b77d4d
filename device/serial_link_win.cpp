// Windows: Asio's open already asks for a non-shared handle, binary mode and
// the 1 ms read interval, and puts "\\.\" in front of a name that does not
// begin with a backslash; flow_control::none raises DTR and RTS.
#include "device/serial_link_platform.h"
#include "device/serial_link.h"

#include <windows.h>

#include <boost/asio/error.hpp>

namespace kestrune {

void ClaimOpenedPort(boost::asio::serial_port&, boost::system::error_code& ec) { ec.clear(); }

void RaiseModemLines(boost::asio::serial_port&, boost::system::error_code& ec) { ec.clear(); }

void ReleasePortClaim(boost::asio::serial_port&) {}

void DrainOutput(boost::asio::serial_port& port, std::chrono::milliseconds bound,
                 boost::system::error_code& ec) {
  // FlushFileBuffers alone waits without limit on a line that stopped
  // taking bytes: it is called once the queue is empty, to wait out the
  // last character.
  HANDLE handle = port.native_handle();
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status) || status.cbOutQue == 0) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      ec = boost::asio::error::timed_out;
      return;
    }
    Sleep(2);
  }
  if (!FlushFileBuffers(handle)) {
    ec = boost::system::error_code(static_cast<int>(GetLastError()),
                                   boost::system::system_category());
    return;
  }
  ec.clear();
}

void DiscardInput(boost::asio::serial_port& port, boost::system::error_code& ec) {
  if (!PurgeComm(port.native_handle(), PURGE_RXABORT | PURGE_RXCLEAR)) {
    ec = boost::system::error_code(static_cast<int>(GetLastError()),
                                   boost::system::system_category());
    return;
  }
  ec.clear();
}

void DiscardOutput(boost::asio::serial_port& port) {
  PurgeComm(port.native_handle(), PURGE_TXABORT | PURGE_TXCLEAR);
}

// What a USB serial driver answers once its device is unplugged or has
// dropped off the bus; under Wine, a hung-up tty's EIO.
bool DeviceLeftTheLine(const boost::system::error_code& error) {
  constexpr int kNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE; MinGW's headers lack it
  if (error == boost::asio::error::eof) return true;
  if (error.category() != boost::system::system_category()) return false;
  switch (error.value()) {
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case kNoSuchDevice:
    case ERROR_IO_DEVICE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED: return true;
    default: return false;
  }
}

}  // namespace kestrune
