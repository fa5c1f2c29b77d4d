// The open, configured, exclusive serial connection to the dive watch.
#pragma once

#include <boost/asio/serial_port.hpp>

#include <boost/system/error_code.hpp>

#include <chrono>

namespace kestrune {

// Opens `port` on construction and keeps it open until Close() or
// destruction. While open the line is 9600 baud, 8 data bits, no parity, one
// stop bit, no flow control, 8-bit transparent, with DTR and RTS raised, and
// no other handle can open the same port. Whatever the line held before the
// open is discarded.
//
// Every failure is raised as boost::system::system_error carrying the system
// error and one operation word: "open" (the port cannot be opened or claimed
// for exclusive use), "set_option" (a line setting is refused) or "close".
class SerialLink {
 public:
  // Opens `path` on the closed `port` (kept by reference; it must outlive the
  // link) and applies the line settings. A bare Windows name such as "COM7"
  // is opened as "\\.\COM7"; a path beginning with a backslash is used as is.
  // Returns only with the port open and configured; otherwise raises and
  // leaves the port closed.
  SerialLink(boost::asio::serial_port& port, const char* path);

  // Closes the port if Close() has not done so; a failure to close is
  // swallowed here, so callers that want to hear of it call Close() first.
  ~SerialLink();

  // Closes the port; raises "close" when the system reports a failure (the
  // port counts as closed regardless). Closing a closed port does nothing.
  void Close();

  // Waits until every byte written has left the computer, for at most
  // `bound`. Raises "write": code boost::asio::error::timed_out when the
  // line has not taken them all in time, otherwise the system's error.
  void Drain(std::chrono::milliseconds bound);

  // Discards what was written but has not left yet, so that closing never
  // waits for the line to drain it. Never raises.
  void DiscardUnsent() noexcept;

  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

 private:
  boost::asio::serial_port& port_;
};

// True when `error`, raised by a transfer or a drain on an open link, says
// the device has left the line: hung up, unplugged, or gone off the bus (as
// a watch restarting into new firmware does).
bool DeviceLeftTheLine(const boost::system::error_code& error);

}  // namespace kestrune
