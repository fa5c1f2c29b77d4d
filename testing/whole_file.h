#pragma once
// Whole files read and written as bytes, for tests to compare what the
// program wrote and to lay out what it reads.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {
namespace testing_support {

// The bytes of `file`, as a std::string or any container of byte-sized
// values; empty when the file cannot be read.
template <typename Container = std::string>
Container ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Container(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces `file` with exactly `bytes`.
inline void WriteWholeFile(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

template <typename Byte>
void WriteWholeFile(const std::filesystem::path& file, const std::vector<Byte>& bytes) {
  static_assert(sizeof(Byte) == 1, "a file holds bytes");
  WriteWholeFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace testing_support
}  // namespace kestrune
