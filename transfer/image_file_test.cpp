// Reading a downloaded image back: only a file of exactly the expected
// length comes back, whole.
#include "transfer/image_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kestrune {
namespace {
namespace fs = std::filesystem;

class ImageFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrune-image-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A file of `size` bytes 0, 1, 2, ... (mod 251) named `name`.
  std::u16string Make(const std::string& name, std::size_t size) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    std::ofstream(dir_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    return (dir_ / name).u16string();
  }

  fs::path dir_;
};

TEST_F(ImageFileTest, ReadsAFileOfTheExpectedLengthWhole) {
  FirmwareImage image;
  ASSERT_TRUE(ReadFirmwareImage(Make("data1.bin", 5000), 5000, image));
  ASSERT_EQ(image.length, 5000u);
  for (std::uint32_t i = 0; i < image.length; ++i) {
    ASSERT_EQ(image.bytes[i], i % 251) << "byte " << i;
  }
}

TEST_F(ImageFileTest, AnEmptyFileOfExpectedLengthZeroIsRead) {
  FirmwareImage image;
  EXPECT_TRUE(ReadFirmwareImage(Make("data1.bin", 0), 0, image));
  EXPECT_EQ(image.length, 0u);
}

TEST_F(ImageFileTest, RefusesOtherLengthsAndMissingFiles) {
  struct Case {
    std::size_t onDisk;  // SIZE_MAX: no file
    std::uint32_t expected;
  };
  const Case cases[] = {{4097, 4096}, {4095, 4096}, {0, 1}, {SIZE_MAX, 0}, {SIZE_MAX, 4096}};
  for (const Case& c : cases) {
    const std::u16string path = c.onDisk == SIZE_MAX ? (dir_ / "missing.bin").u16string()
                                                     : Make("data.bin", c.onDisk);
    FirmwareImage image;
    image.length = 7;  // left over from some earlier image
    EXPECT_FALSE(ReadFirmwareImage(path, c.expected, image)) << c.onDisk << " vs " << c.expected;
    EXPECT_EQ(image.length, 0u);
    EXPECT_EQ(image.bytes, nullptr);
  }
}

}  // namespace
}  // namespace kestrune
