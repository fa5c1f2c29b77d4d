#pragma once
// SHA-256 of firmware images, so that what was downloaded can be told
// apart from any other bytes of the same length later (a saved image, a
// bundle carried into the field, the history of a watch).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrune {

// An incremental SHA-256: Add the bytes in any number of pieces, then take
// the digest once.
class Sha256 {
 public:
  Sha256();

  void Add(const void* data, std::size_t size);
  // The 32-byte digest of everything added; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
  bool finished_ = false;
};

// The digest of `size` bytes as 64 lowercase hexadecimal digits, the form
// sha256sum prints and the records store.
std::string Sha256Hex(const void* data, std::size_t size);

// 32 bytes as 64 lowercase hexadecimal digits.
std::string DigestHex(const std::array<std::uint8_t, 32>& digest);

}  // namespace kestrune
