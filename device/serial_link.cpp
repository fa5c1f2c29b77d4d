#include "device/serial_link.h"

#include "device/serial_link_platform.h"

#include <boost/system/system_error.hpp>

#include <string>

namespace kestrune {

namespace {

using boost::asio::serial_port_base;

template <typename Option>
void ApplyOption(boost::asio::serial_port& port, const Option& option) {
  boost::system::error_code ec;
  port.set_option(option, ec);
  if (ec) throw boost::system::system_error(ec, "set_option");
}

}  // namespace

SerialLink::SerialLink(boost::asio::serial_port& port, const char* path) : port_(port) {
  boost::system::error_code ec;
  if (path == nullptr || *path == '\0') {
    throw boost::system::system_error(
        boost::system::errc::make_error_code(boost::system::errc::no_such_file_or_directory),
        "open");
  }
  port_.open(std::string(path), ec);
  if (ec) throw boost::system::system_error(ec, "open");
  ClaimOpenedPort(port_, ec);
  if (ec) {
    boost::system::error_code ignored;
    port_.close(ignored);
    throw boost::system::system_error(ec, "open");
  }
  // Each option is its own update of the live line state, in this order; the
  // first refusal leaves the later ones unapplied. The port is closed here
  // rather than left open until the port object goes, so a failed link never
  // keeps the port from the next attempt.
  try {
    ApplyOption(port_, serial_port_base::baud_rate(9600));
    ApplyOption(port_, serial_port_base::character_size(8));
    ApplyOption(port_, serial_port_base::stop_bits(serial_port_base::stop_bits::one));
    ApplyOption(port_, serial_port_base::parity(serial_port_base::parity::none));
    ApplyOption(port_, serial_port_base::flow_control(serial_port_base::flow_control::none));
    RaiseModemLines(port_, ec);
    if (ec) throw boost::system::system_error(ec, "set_option");
    // Only bytes that arrive from here on answer what this link sends.
    DiscardInput(port_, ec);
    if (ec) throw boost::system::system_error(ec, "open");
  } catch (...) {
    ReleasePortClaim(port_);
    boost::system::error_code ignored;
    port_.close(ignored);
    throw;
  }
}

SerialLink::~SerialLink() {
  try {
    Close();
  } catch (const boost::system::system_error&) {
    // The handle is gone either way; a destructor has nobody to tell.
  }
}

void SerialLink::Drain(std::chrono::milliseconds bound) {
  boost::system::error_code ec;
  DrainOutput(port_, bound, ec);
  if (ec) throw boost::system::system_error(ec, "write");
}

void SerialLink::DiscardUnsent() noexcept {
  if (port_.is_open()) DiscardOutput(port_);
}

void SerialLink::Close() {
  if (!port_.is_open()) return;
  ReleasePortClaim(port_);
  boost::system::error_code ec;
  port_.close(ec);
  if (ec) throw boost::system::system_error(ec, "close");
}

}  // namespace kestrune
