#include "transfer/device_protocol.h"

#include "device/bounded_transfer.h"

#include <array>
#include <cstring>

namespace kestrune {

DeviceProtocol::DeviceProtocol(boost::asio::serial_port* port,
                               std::chrono::milliseconds answerTimeout)
    : port_(port), answerTimeout_(answerTimeout) {}

void DeviceProtocol::Send(const DeviceFrame& frame) {
  WriteWithin(*port_, boost::asio::buffer(frame.bytes), answerTimeout_);
}

void DeviceProtocol::Receive(DeviceFrame& frame) {
  ReadWithin(*port_, boost::asio::buffer(frame.bytes), answerTimeout_);
}

bool DeviceProtocol::WriteBlock(std::uint32_t address, const std::uint8_t* data,
                                std::uint32_t length) {
  // Copying more than a block would run past the block buffer.
  if (length > kBlockSize || (data == nullptr && length != 0)) return false;
  std::array<std::uint8_t, kBlockSize> block{};
  if (length != 0) std::memcpy(block.data(), data, length);

  // Frame by frame, so that the time-out bounds each frame, not the block.
  for (const DeviceFrame& frame : WriteBlockFrames(address, block.data(), length)) Send(frame);

  DeviceFrame answer;
  Receive(answer);
  return answer.Is(FrameCommand::CommitAnswer) && answer.Word(kAcceptedOffset) != 0;
}

bool DeviceProtocol::ReadBlock(std::uint32_t address, std::uint8_t* destination,
                               std::uint32_t length) {
  if (length > kBlockSize || (destination == nullptr && length != 0)) return false;
  std::array<std::uint8_t, kBlockSize> block{};

  Send(ReadRequestFrame(address, length));

  DeviceFrame frame;
  for (std::uint32_t i = 0; i < kChunksPerBlock; ++i) {
    Receive(frame);
    if (!frame.Is(FrameCommand::Data) || frame.Index() != i) return false;
    std::memcpy(block.data() + i * kChunkSize, frame.Payload(), kChunkSize);
  }
  Receive(frame);
  if (!frame.Is(FrameCommand::ReadEnd)) return false;

  const std::uint32_t checksum = BlockChecksum(block.data(), block.size());
  if (length != 0) std::memcpy(destination, block.data(), length);
  return checksum == frame.Word(kChecksumOffset);
}

void DeviceProtocol::SendFinish() { Send(FinishFrame()); }

}  // namespace kestrune
