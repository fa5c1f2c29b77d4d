#pragma once
// A whole file read from disk in one piece.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrune {

struct FileContents {
  // Null when the file could not be read; an empty file that was read has a
  // block and a size of 0.
  std::unique_ptr<char[]> data;
  uint32_t size = 0;

  bool WasRead() const { return data != nullptr; }
  std::string Bytes() const { return data ? std::string(data.get(), size) : std::string(); }
  const unsigned char* UnsignedBytes() const {
    return reinterpret_cast<const unsigned char*>(data.get());
  }
};

// Reads the regular file at `path`, opened for reading without sharing so
// nothing changes it meanwhile. The result is empty when the file cannot be
// opened, is 4 GiB or larger, or cannot be read to its end; and, when
// `expectedSize` is given, when the file has another size, which is checked
// before anything is allocated.
FileContents ReadFileContents(const std::u16string& path,
                              std::optional<uint32_t> expectedSize = std::nullopt);

}  // namespace kestrune
