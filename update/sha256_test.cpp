#include "update/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "testing/random_image.h"
#include "testing/temp_folder.h"

namespace kestrune {
namespace {

struct Vector {
  const char* name;
  std::string message;
  const char* digest;
};

// The FIPS 180-2 examples, plus the lengths around a block's padding edge
// (55 bytes fit one block, 56 need a second).
const Vector kVectors[] = {
    {"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"FiftyFive", std::string(55, 'a'),
     "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
    {"FiftySix", std::string(56, 'a'),
     "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
    {"OneMillionA", std::string(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

class Sha256Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Sha256Vectors, DigestIsTheKnownOne) {
  const Vector& v = GetParam();
  EXPECT_EQ(Sha256Hex(v.message.data(), v.message.size()), v.digest);
}

INSTANTIATE_TEST_SUITE_P(Known, Sha256Vectors, ::testing::ValuesIn(kVectors),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Sha256, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  const auto image = testing_support::RandomImage(10000, 7);
  const std::string whole = Sha256Hex(image.data(), image.size());
  for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 4096u}) {
    Sha256 hash;
    for (std::size_t at = 0; at < image.size(); at += piece) {
      hash.Add(image.data() + at, std::min(piece, image.size() - at));
    }
    EXPECT_EQ(DigestHex(hash.Finish()), whole) << "pieces of " << piece;
  }
}

TEST(Sha256, FinishIsTakenOnce) {
  Sha256 hash;
  hash.Finish();
  EXPECT_THROW(hash.Finish(), std::logic_error);
  EXPECT_THROW(hash.Add("x", 1), std::logic_error);
}

#ifndef _WIN32
// Against the system's own tool, on an image of a firmware's size.
TEST(Sha256, AgreesWithSha256sum) {
  const auto image = testing_support::RandomImage(70001, 11);
  testing_support::TempFolder folder("sha256");
  const std::string path = (folder.path() / "image.bin").string();
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(image.data(), 1, image.size(), file), image.size());
  std::fclose(file);
  FILE* tool = popen(("sha256sum '" + path + "'").c_str(), "r");
  ASSERT_NE(tool, nullptr);
  char line[128] = {};
  ASSERT_NE(std::fgets(line, sizeof line, tool), nullptr);
  pclose(tool);
  EXPECT_EQ(Sha256Hex(image.data(), image.size()), std::string(line, 64));
}
#endif

}  // namespace
}  // namespace kestrune
