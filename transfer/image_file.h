#pragma once
// Reads a downloaded firmware image back from disk, whole, in one buffer.

#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

// One image held in memory; the blocks sent to the watch are slices of it.
struct FirmwareImage {
  std::unique_ptr<unsigned char[]> bytes;
  std::uint32_t length = 0;
};

// Reads the file at `path` into `image` when its length is exactly
// `expectedLength`. Returns false, with `image` empty, when the file cannot
// be opened for reading, has another length, or cannot be read to its end.
// The file is opened without sharing, so nothing can change it while it is
// being read, and the length is checked before anything is allocated.
bool ReadFirmwareImage(const std::u16string& path, std::uint32_t expectedLength,
                       FirmwareImage& image);

}  // namespace kestrune
