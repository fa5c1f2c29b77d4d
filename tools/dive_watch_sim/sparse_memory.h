// The simulated watch's flash: only the bytes ever written are held, in
// 4096-byte pages, and every byte never written reads as 0xFF (erased flash).
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <vector>

namespace kestrune {

// A run of consecutive written addresses and their bytes.
struct MemoryRegion {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> bytes;
};

class SparseMemory {
 public:
  static constexpr std::uint8_t kErased = 0xFF;

  // Stores `size` bytes at `address` onwards (wrapping past 2^32 is cut off).
  void Write(std::uint32_t address, const std::uint8_t* data, std::size_t size);

  // `size` bytes from `address` on; bytes never written read as kErased.
  std::vector<std::uint8_t> Read(std::uint32_t address, std::size_t size) const;

  // Every maximal run of written bytes, by ascending address.
  std::vector<MemoryRegion> WrittenRegions() const;

  // True when nothing was ever written.
  bool Empty() const { return pages_.empty(); }

 private:
  static constexpr std::uint32_t kPageSize = 4096;
  struct Page {
    std::array<std::uint8_t, kPageSize> bytes;
    std::bitset<kPageSize> written;
  };
  std::map<std::uint32_t, Page> pages_;  // by page number
};

}  // namespace kestrune
