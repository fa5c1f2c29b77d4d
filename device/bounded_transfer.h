// Whole-buffer reads and writes on a serial port that give up after a time
// bound, so a watch that stops answering (or stops reading) never hangs the
// caller. On Windows they run the port's I/O context on the calling thread
// for the length of one transfer, so nothing else may run that context
// meanwhile; on POSIX they wait with poll() on the port's descriptor, and a
// read whose answer trickles in sleeps out the time the rest needs.
#pragma once

#include <boost/asio/buffer.hpp>
#include <boost/asio/serial_port.hpp>

#include <chrono>
#include <cstddef>

namespace kestrune {

// Reads exactly buffer.size() bytes, gathering pieces as they arrive.
// Raises boost::system::system_error with the word "read": with code
// boost::asio::error::timed_out when the bytes have not all arrived within
// `bound`, otherwise with the system's error (end of file when the line hung
// up). Returns the number of bytes read, always buffer.size().
std::size_t ReadWithin(boost::asio::serial_port& port, boost::asio::mutable_buffer buffer,
                       std::chrono::milliseconds bound);

// Writes all of `buffer`. Raises boost::system::system_error with the word
// "write": code boost::asio::error::timed_out when the line has not taken
// every byte within `bound`, otherwise the system's error. Returns the number
// of bytes written, always buffer.size().
std::size_t WriteWithin(boost::asio::serial_port& port, boost::asio::const_buffer buffer,
                        std::chrono::milliseconds bound);

}  // namespace kestrune
