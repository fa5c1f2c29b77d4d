// The fixed 40-byte frame that carries every message between the host and the
// dive watch, the 4096-byte block it moves, and the builders of each frame
// kind. Header-only so that the watch simulator can share it without linking
// the protocol.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kestrune {

constexpr std::size_t kFrameSize = 40;
constexpr std::size_t kBlockSize = 4096;
constexpr std::size_t kChunkSize = 32;
constexpr std::size_t kChunksPerBlock = kBlockSize / kChunkSize;  // 128

// Frame kinds, the value of bytes 2-3.
enum class FrameCommand : std::uint16_t {
  ReadRequest = 1,   // host -> watch: address, length
  ReadEnd = 2,       // watch -> host: checksum of the block just sent
  Commit = 3,        // host -> watch: address, length, checksum of the block
  CommitAnswer = 4,  // watch -> host: accepted word
  Data = 5,          // both ways: one 32-byte chunk of a block
  Finish = 0x9999,   // host -> watch: update done, no answer
};

// Byte offsets of the fields; multi-byte fields are little-endian.
constexpr std::size_t kStartOffset = 0;
constexpr std::size_t kPayloadSizeOffset = 1;
constexpr std::size_t kCommandOffset = 2;
constexpr std::size_t kIndexOffset = 4;
constexpr std::size_t kPayloadOffset = 8;
// Words inside the payload of commit, read request, read end and answer frames.
constexpr std::size_t kAddressOffset = 8;
constexpr std::size_t kLengthOffset = 12;
constexpr std::size_t kChecksumOffset = 16;
constexpr std::size_t kAcceptedOffset = 8;

constexpr std::uint8_t kCommitStart = 0xAA;

// The payload size (byte 1) each frame kind carries; a finish frame carries 0.
constexpr std::uint8_t kDataPayloadSize = static_cast<std::uint8_t>(kChunkSize);
constexpr std::uint8_t kCommitPayloadSize = 12;
constexpr std::uint8_t kReadRequestPayloadSize = 8;
constexpr std::uint8_t kReadEndPayloadSize = 12;
constexpr std::uint8_t kCommitAnswerPayloadSize = 4;

// One frame as it travels on the wire. Every byte starts at zero, so bytes a
// frame kind leaves unassigned go out as zero.
struct DeviceFrame {
  std::array<std::uint8_t, kFrameSize> bytes{};

  std::uint8_t Start() const { return bytes[kStartOffset]; }
  void SetStart(std::uint8_t value) { bytes[kStartOffset] = value; }

  std::uint8_t PayloadSize() const { return bytes[kPayloadSizeOffset]; }
  void SetPayloadSize(std::uint8_t value) { bytes[kPayloadSizeOffset] = value; }

  std::uint16_t Command() const {
    return static_cast<std::uint16_t>(bytes[kCommandOffset] | (bytes[kCommandOffset + 1] << 8));
  }
  void SetCommand(std::uint16_t value) {
    bytes[kCommandOffset] = static_cast<std::uint8_t>(value);
    bytes[kCommandOffset + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  bool Is(FrameCommand command) const { return Command() == static_cast<std::uint16_t>(command); }
  void SetCommand(FrameCommand command) { SetCommand(static_cast<std::uint16_t>(command)); }

  std::uint32_t Index() const { return Word(kIndexOffset); }
  void SetIndex(std::uint32_t value) { SetWord(kIndexOffset, value); }

  // A little-endian 32-bit word at `offset` (at most kFrameSize - 4).
  std::uint32_t Word(std::size_t offset) const {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
  }
  void SetWord(std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
      bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }

  std::uint8_t* Payload() { return bytes.data() + kPayloadOffset; }
  const std::uint8_t* Payload() const { return bytes.data() + kPayloadOffset; }
};

static_assert(sizeof(DeviceFrame) == kFrameSize, "a frame is exactly 40 bytes");

// Sum of the bytes as unsigned values; a whole block sums to at most
// 4096 * 255, so the 32-bit result never wraps.
inline std::uint32_t BlockChecksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += data[i];
  return sum;
}

// A frame of `command` carrying `payloadSize`, every other byte zero.
inline DeviceFrame FrameOf(FrameCommand command, std::uint8_t payloadSize) {
  DeviceFrame frame;
  frame.SetPayloadSize(payloadSize);
  frame.SetCommand(command);
  return frame;
}

// A frame of `command` whose payload holds a block's address, length and
// checksum words; a kind that has no use for one of them sends it as zero.
inline DeviceFrame BlockWordsFrame(FrameCommand command, std::uint8_t payloadSize,
                                   std::uint32_t address, std::uint32_t length,
                                   std::uint32_t checksum) {
  DeviceFrame frame = FrameOf(command, payloadSize);
  frame.SetWord(kAddressOffset, address);
  frame.SetWord(kLengthOffset, length);
  frame.SetWord(kChecksumOffset, checksum);
  return frame;
}

// Chunk `index` of a block: kChunkSize bytes from `chunk`.
inline DeviceFrame DataFrame(std::uint32_t index, const std::uint8_t* chunk) {
  DeviceFrame frame = FrameOf(FrameCommand::Data, kDataPayloadSize);
  frame.SetIndex(index);
  std::memcpy(frame.Payload(), chunk, kChunkSize);
  return frame;
}

// Ends a block's data frames: the watch keeps the first `length` bytes at
// `address` when `checksum` matches the sum of all 4096 bytes it received.
// Its index stays 0.
inline DeviceFrame CommitFrame(std::uint32_t address, std::uint32_t length,
                               std::uint32_t checksum) {
  DeviceFrame frame =
      BlockWordsFrame(FrameCommand::Commit, kCommitPayloadSize, address, length, checksum);
  frame.SetStart(kCommitStart);
  return frame;
}

// The frames that write one block: its 128 data frames, then the commit.
// `block` holds kBlockSize bytes (zero past `length`, which is what the watch
// keeps); the commit carries the sum of all of them.
using BlockWriteFrames = std::array<DeviceFrame, kChunksPerBlock + 1>;
inline BlockWriteFrames WriteBlockFrames(std::uint32_t address, const std::uint8_t* block,
                                         std::uint32_t length) {
  BlockWriteFrames frames;
  for (std::uint32_t i = 0; i < kChunksPerBlock; ++i)
    frames[i] = DataFrame(i, block + i * kChunkSize);
  frames[kChunksPerBlock] = CommitFrame(address, length, BlockChecksum(block, kBlockSize));
  return frames;
}

// The watch's answer to a commit.
inline DeviceFrame CommitAnswerFrame(bool accepted) {
  DeviceFrame frame = FrameOf(FrameCommand::CommitAnswer, kCommitAnswerPayloadSize);
  frame.SetWord(kAcceptedOffset, accepted ? 1 : 0);
  return frame;
}

// Asks the watch for the block at `address`; it answers with 128 data frames
// and a read end frame.
inline DeviceFrame ReadRequestFrame(std::uint32_t address, std::uint32_t length) {
  return BlockWordsFrame(FrameCommand::ReadRequest, kReadRequestPayloadSize, address, length, 0);
}

// Follows the data frames of a read with the checksum of the block sent.
inline DeviceFrame ReadEndFrame(std::uint32_t address, std::uint32_t checksum) {
  return BlockWordsFrame(FrameCommand::ReadEnd, kReadEndPayloadSize, address, 0, checksum);
}

// Ends an update; it carries only its command and gets no answer.
inline DeviceFrame FinishFrame() { return FrameOf(FrameCommand::Finish, 0); }

}  // namespace kestrune
