// Block writes and reads to the dive watch over an open serial link, in the
// 40-byte frames of transfer/device_frame.h.
#pragma once

#include "transfer/device_frame.h"

#include <boost/asio/serial_port.hpp>

#include <chrono>
#include <cstdint>

namespace kestrune {

// Holds a pointer to the serial port of an open SerialLink and nothing that
// outlives one call; it neither opens nor closes the port. One thread at a
// time. Every write (a block's frames together, a request, the finish frame)
// and every answer read is bounded by the answer time-out given at
// construction.
//
// Failures of the exchange itself (the watch refused, answered something
// else, or sent data that does not match its checksum) come back as false.
// Failures of the line come out as boost::system::system_error with the word
// "write" or "read"; a watch that does not answer, or stops taking bytes,
// within the time-out raises code boost::asio::error::timed_out.
class DeviceProtocol {
 public:
  // A real watch takes about 5.4 s to receive a block at 9600 baud, then
  // writes its flash before it answers.
  static constexpr std::chrono::milliseconds kDefaultAnswerTimeout{20000};

  // `port` must stay open for as long as the protocol is used.
  explicit DeviceProtocol(boost::asio::serial_port* port,
                          std::chrono::milliseconds answerTimeout = kDefaultAnswerTimeout);

  // Sends `length` bytes of `data` (zero-filled to a whole 4096-byte block)
  // as 128 data frames and a commit frame for `address`, then reads the
  // watch's answer. True when the watch accepted the block. A length above
  // 4096 (or data missing) sends nothing and returns false.
  bool WriteBlock(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);

  // Asks the watch for the block at `address`, receives its 128 data frames
  // and end frame, and copies the first `length` bytes to `destination` once
  // all frames arrived in order (even when the checksum then disagrees).
  // True when the received data matches the watch's checksum. A length above
  // 4096 (or destination missing) sends nothing and returns false.
  bool ReadBlock(std::uint32_t address, std::uint8_t* destination, std::uint32_t length);

  // Sends the finish frame that ends an update; no answer is awaited.
  void SendFinish();

 private:
  void Send(const DeviceFrame& frame);
  void Receive(DeviceFrame& frame);

  boost::asio::serial_port* port_;
  std::chrono::milliseconds answerTimeout_;
};

}  // namespace kestrune
