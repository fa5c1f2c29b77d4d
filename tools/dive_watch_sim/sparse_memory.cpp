#include "tools/dive_watch_sim/sparse_memory.h"

#include <algorithm>

namespace kestrune {

void SparseMemory::Write(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{address} + size, 1ull << 32);
  for (std::uint64_t a = address; a < end;) {
    const std::uint32_t number = static_cast<std::uint32_t>(a / kPageSize);
    const std::uint32_t offset = static_cast<std::uint32_t>(a % kPageSize);
    const std::uint32_t count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kPageSize - offset, end - a));
    auto [it, added] = pages_.try_emplace(number);
    if (added) it->second.bytes.fill(kErased);
    std::copy_n(data + (a - address), count, it->second.bytes.begin() + offset);
    for (std::uint32_t i = 0; i < count; ++i) it->second.written.set(offset + i);
    a += count;
  }
}

std::vector<std::uint8_t> SparseMemory::Read(std::uint32_t address, std::size_t size) const {
  std::vector<std::uint8_t> out(size, kErased);
  for (std::size_t i = 0; i < size;) {
    const std::uint64_t a = std::uint64_t{address} + i;
    if (a >= (1ull << 32)) break;
    const std::uint32_t offset = static_cast<std::uint32_t>(a % kPageSize);
    const std::size_t count = std::min<std::size_t>(kPageSize - offset, size - i);
    auto it = pages_.find(static_cast<std::uint32_t>(a / kPageSize));
    if (it != pages_.end()) {
      std::copy_n(it->second.bytes.begin() + offset, count, out.begin() + i);
    }
    i += count;
  }
  return out;
}

std::vector<MemoryRegion> SparseMemory::WrittenRegions() const {
  std::vector<MemoryRegion> regions;
  std::uint64_t next = 0;  // address just after the last region's end
  for (const auto& [number, page] : pages_) {
    for (std::uint32_t offset = 0; offset < kPageSize; ++offset) {
      if (!page.written.test(offset)) continue;
      const std::uint64_t a = std::uint64_t{number} * kPageSize + offset;
      if (regions.empty() || a != next) {
        regions.push_back(MemoryRegion{static_cast<std::uint32_t>(a), {}});
      }
      regions.back().bytes.push_back(page.bytes[offset]);
      next = a + 1;
    }
  }
  return regions;
}

}  // namespace kestrune
