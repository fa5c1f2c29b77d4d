#pragma once
// A whole file read from disk in one piece.

#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

struct FileContents {
  std::unique_ptr<char[]> data;
  uint32_t size = 0;

  std::string Bytes() const { return data ? std::string(data.get(), size) : std::string(); }
};

// Reads the file at `path` (opened for reading without sharing). The result
// is empty when the file cannot be opened, is 4 GiB or larger, or cannot be
// read to its end.
FileContents ReadFileContents(const std::u16string& path);

}  // namespace kestrune
