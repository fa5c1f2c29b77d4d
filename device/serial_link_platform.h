// The per-platform steps around opening and closing the serial port that
// Boost.Asio's own open and close do not cover.
#pragma once

#include <boost/asio/serial_port.hpp>
#include <boost/system/error_code.hpp>

#include <chrono>

namespace kestrune {

// Right after the port opened: claims it for exclusive use and makes the line
// 8-bit transparent. Sets `ec` on failure; the caller then closes the port.
void ClaimOpenedPort(boost::asio::serial_port& port, boost::system::error_code& ec);

// Right after the line settings: raises DTR and RTS where the settings alone
// do not. Sets `ec` on failure.
void RaiseModemLines(boost::asio::serial_port& port, boost::system::error_code& ec);

// Right before the port closes: gives up what ClaimOpenedPort took that the
// close alone would not release.
void ReleasePortClaim(boost::asio::serial_port& port);

// Waits until the output queue is empty and the last byte has left, for at
// most `bound`; sets `ec` (boost::asio::error::timed_out past the bound).
void DrainOutput(boost::asio::serial_port& port, std::chrono::milliseconds bound,
                 boost::system::error_code& ec);

// Drops the bytes written that have not left yet.
void DiscardOutput(boost::asio::serial_port& port);

// Drops what arrived before the line was ours: a late answer of an earlier
// run would otherwise pass for the first block's. Sets `ec` on failure.
void DiscardInput(boost::asio::serial_port& port, boost::system::error_code& ec);

}  // namespace kestrune
