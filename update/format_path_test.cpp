#include "update/format_path.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrune {
namespace {

const std::u16string kSep(1, kPathSeparator);

TEST(FormatPathTest, FormatsBothCallerPatterns) {
  char16_t buffer[kPathBufferUnits] = {};
  EXPECT_TRUE(FormatPath(buffer, u"%s\\features.json", u"/home/u/orvel kestrune"));
  EXPECT_EQ(std::u16string(buffer), u"/home/u/orvel kestrune" + kSep + u"features.json");
  EXPECT_TRUE(FormatPath(buffer, u"%s\\data%d.bin", u"D", -12));
  EXPECT_EQ(std::u16string(buffer), u"D" + kSep + u"data-12.bin");
  EXPECT_TRUE(FormatPath(buffer, u"%d%%%d", INT32_MIN, 0));
  EXPECT_EQ(std::u16string(buffer), u"-2147483648%0");
}

TEST(FormatPathTest, BackslashInArgumentIsKept) {
  char16_t buffer[kPathBufferUnits] = {};
  EXPECT_TRUE(FormatPath(buffer, u"%s", u"C:\\Users\\u"));
  EXPECT_EQ(std::u16string(buffer), u"C:\\Users\\u");
}

TEST(FormatPathTest, LongTextIsCutAndTerminatedInsideTheBuffer) {
  // A guard region after the buffer shows any write past its end.
  char16_t buffer[kPathBufferUnits + 16];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  const std::u16string folder(5000, u'f');
  EXPECT_FALSE(FormatPath(buffer, u"%s\\data%d.bin", folder.c_str(), 3));
  EXPECT_EQ(std::u16string(buffer), folder.substr(0, kPathBufferUnits - 1));
  for (size_t i = kPathBufferUnits; i < kPathBufferUnits + 16; ++i) EXPECT_EQ(buffer[i], u'#');

  const std::u16string exact(kPathBufferUnits - 1, u'e');
  EXPECT_TRUE(FormatPath(buffer, u"%s", exact.c_str()));
  EXPECT_EQ(std::u16string(buffer), exact);
}

}  // namespace
}  // namespace kestrune
