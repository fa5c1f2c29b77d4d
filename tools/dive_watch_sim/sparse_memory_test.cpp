#include "tools/dive_watch_sim/sparse_memory.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(SparseMemory, UnwrittenBytesReadErased) {
  SparseMemory memory;
  EXPECT_TRUE(memory.Empty());
  EXPECT_EQ(memory.Read(0x1000, 3), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(memory.WrittenRegions().empty());
}

TEST(SparseMemory, WriteAcrossPagesReadsBackAndFormsOneRegion) {
  SparseMemory memory;
  std::vector<std::uint8_t> data(5000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  memory.Write(4000, data.data(), data.size());  // spans pages 0, 1 and 2

  EXPECT_EQ(memory.Read(4000, data.size()), data);
  const auto around = memory.Read(3999, 2);
  EXPECT_EQ(around[0], 0xFF);
  EXPECT_EQ(around[1], data[0]);

  const auto regions = memory.WrittenRegions();
  ASSERT_EQ(regions.size(), 1u);
  EXPECT_EQ(regions[0].address, 4000u);
  EXPECT_EQ(regions[0].bytes, data);
}

TEST(SparseMemory, GapsSplitRegionsAndWrittenErasedValueCounts) {
  SparseMemory memory;
  const std::uint8_t ff[2] = {0xFF, 0xFF};  // written 0xFF is still written
  const std::uint8_t ab[2] = {0xAB, 0xCD};
  memory.Write(0x20000, ab, 2);
  memory.Write(0x10000, ff, 2);
  memory.Write(0x10002, ab, 1);  // adjacent: joins the run before it

  const auto regions = memory.WrittenRegions();
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0].address, 0x10000u);
  EXPECT_EQ(regions[0].bytes, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xAB}));
  EXPECT_EQ(regions[1].address, 0x20000u);
  EXPECT_EQ(regions[1].bytes, (std::vector<std::uint8_t>{0xAB, 0xCD}));
}

TEST(SparseMemory, WriteAtTopOfAddressSpaceStopsAtTheEnd) {
  SparseMemory memory;
  const std::uint8_t data[4] = {1, 2, 3, 4};
  memory.Write(0xFFFFFFFE, data, 4);
  EXPECT_EQ(memory.Read(0xFFFFFFFE, 2), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(memory.Read(0, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
}

}  // namespace
}  // namespace kestrune
