// Reading a file back whole: a downloaded image only when it has exactly
// the expected length.
#include "update/file_contents.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "testing/temp_folder.h"
#include "testing/whole_file.h"

namespace kestrune {
namespace {
namespace fs = std::filesystem;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

class FileContentsTest : public testing::Test {
 protected:
  // A file of `size` bytes 0, 1, 2, ... (mod 251) named `name`.
  std::u16string Make(const std::string& name, std::size_t size) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    WriteWholeFile(dir_ / name, bytes);
    return (dir_ / name).u16string();
  }

  TempFolder temp_{"file-contents"};
  const fs::path dir_ = temp_.path();
};

TEST_F(FileContentsTest, ReadsAFileWholeWithOrWithoutAnExpectedLength) {
  const std::u16string path = Make("data1.bin", 5000);
  for (const std::optional<std::uint32_t> expected :
       {std::optional<std::uint32_t>(5000), std::optional<std::uint32_t>()}) {
    const FileContents contents = ReadFileContents(path, expected);
    ASSERT_TRUE(contents.WasRead());
    ASSERT_EQ(contents.size, 5000u);
    for (std::uint32_t i = 0; i < contents.size; ++i) {
      ASSERT_EQ(contents.UnsignedBytes()[i], i % 251) << "byte " << i;
    }
  }
}

TEST_F(FileContentsTest, AnEmptyFileOfExpectedLengthZeroIsRead) {
  const FileContents contents = ReadFileContents(Make("data1.bin", 0), 0u);
  EXPECT_TRUE(contents.WasRead());
  EXPECT_EQ(contents.size, 0u);
}

TEST_F(FileContentsTest, RefusesOtherLengthsAndMissingFiles) {
  struct Case {
    std::size_t onDisk;  // SIZE_MAX: no file
    std::uint32_t expected;
  };
  const Case cases[] = {{4097, 4096}, {4095, 4096}, {0, 1}, {SIZE_MAX, 0}, {SIZE_MAX, 4096}};
  for (const Case& c : cases) {
    const std::u16string path =
        c.onDisk == SIZE_MAX ? (dir_ / "missing.bin").u16string() : Make("data.bin", c.onDisk);
    const FileContents contents = ReadFileContents(path, c.expected);
    EXPECT_FALSE(contents.WasRead()) << c.onDisk << " vs " << c.expected;
    EXPECT_EQ(contents.size, 0u);
    EXPECT_EQ(contents.data, nullptr);
  }
}

}  // namespace
}  // namespace kestrune
