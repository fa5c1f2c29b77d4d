#include "update/text_conversion.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace kestrune {
namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u16string units;
};

// Test names and failure messages show the case by its name.
void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class Utf8ToWideTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(Utf8ToWideTest, DecodesToExpectedUnits) {
  const DecodeCase& c = GetParam();
  WideBuffer buffer;
  Utf8ToWide(c.bytes.data(), c.bytes.size(), buffer);
  EXPECT_EQ(buffer.Text(), c.units);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8ToWideTest,
    testing::Values(DecodeCase{"Ascii", "COM3", u"COM3"},
                    DecodeCase{"TwoBytes", "\xC3\xA9", u"\u00E9"},
                    DecodeCase{"ThreeBytes", "\xE6\xAA\x94", u"\u6A94"},
                    DecodeCase{"LeadingBomDropped",
                               "\xEF\xBB\xBF"
                               "1.006",
                               u"1.006"},
                    DecodeCase{"InnerBomKept", "a\xEF\xBB\xBF", u"a\uFEFF"},
                    // Still empty after the first mark is dropped, so the second goes too.
                    DecodeCase{"RepeatedLeadingBomsDropped",
                               "\xEF\xBB\xBF\xEF\xBB\xBF"
                               "x",
                               u"x"},
                    DecodeCase{"FourBytesBecomePair", "\xF0\x9F\x98\x80", u"\U0001F600"},
                    DecodeCase{"HighestCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
                    DecodeCase{"AboveUnicodeIsQuestionMark", "\xF4\x90\x80\x80x", u"?x"},
                    DecodeCase{"OverlongFourBytesIsOneUnit", "\xF0\x80\x81\x81", u"A"},
                    DecodeCase{"OverlongTwoBytes", "\xC1\xBF", u"\u007F"},
                    DecodeCase{"ContinuationBitsNotChecked", "\xC3\x29", u"\u00E9"},
                    DecodeCase{"TruncatedTwoBytes", "ab\xC3", u"ab?"},
                    DecodeCase{"TruncatedThreeBytes", "ab\xE6\xAA", u"ab?"},
                    DecodeCase{"TruncatedFourBytes", "ab\xF0\x9F\x98", u"ab?"},
                    DecodeCase{"StrayContinuationGoesOn",
                               "a\x80"
                               "b\xBF",
                               u"a?b?"},
                    DecodeCase{"InvalidLeadBytes",
                               "\xF8\xFF"
                               "c",
                               u"??c"},
                    DecodeCase{"ZeroLeadByteEnds", std::string("ab\0cd", 5), u"ab"},
                    DecodeCase{"SurrogateEncodedAsThreeBytes", "\xED\xA0\x80", u"\xD800"},
                    DecodeCase{"Empty", "", u""}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

struct EncodeCase {
  const char* name;
  std::u16string units;
  std::string bytes;
};

// Test names and failure messages show the case by its name.
void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

class WideToUtf8Test : public testing::TestWithParam<EncodeCase> {};

TEST_P(WideToUtf8Test, EncodesToExpectedBytes) {
  const EncodeCase& c = GetParam();
  ByteBuffer buffer;
  WideToUtf8(c.units.data(), c.units.size(), buffer);
  EXPECT_EQ(buffer.Text(), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WideToUtf8Test,
    testing::Values(EncodeCase{"Com3", u"COM3", "\x43\x4F\x4D\x33"},
                    EncodeCase{"EAcute", u"\u00E9", "\xC3\xA9"},
                    EncodeCase{"Cjk", u"\u6A94", "\xE6\xAA\x94"},
                    EncodeCase{"LastTwoByteUnit", u"\u07FF", "\xDF\xBF"},
                    EncodeCase{"FirstThreeByteUnit", u"\u0800", "\xE0\xA0\x80"},
                    EncodeCase{"PairJoined", u"\U0001F600", "\xF0\x9F\x98\x80"},
                    EncodeCase{"LastPair", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
                    EncodeCase{"LoneHigh",
                               std::u16string(u"a\xD83D"
                                              "b"),
                               "a?b"},
                    EncodeCase{"LoneLow", std::u16string(u"\xDE00"), "?"},
                    EncodeCase{"SwappedPair", std::u16string(u"\xDE00\xD83D"), "??"},
                    EncodeCase{"HighAtEnd", std::u16string(u"x\xD83D"), "x?"},
                    EncodeCase{"ZeroUnitsKept", std::u16string(u"a\0b", 3),
                               std::string("a\0b", 3)}),
    [](const testing::TestParamInfo<EncodeCase>& info) { return std::string(info.param.name); });

TEST(TextConversionTest, RoundTripsEveryScalarValue) {
  std::u16string all;
  for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp == 0xFEFF) continue;  // would be dropped at the start
    if (cp < 0x10000) {
      all.push_back(static_cast<char16_t>(cp));
    } else {
      all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  EXPECT_EQ(Utf8ToWideText(WideToUtf8Text(all)), all);
}

TEST(TextConversionTest, BomIsDroppedOnlyWhileBufferIsEmpty) {
  WideBuffer buffer;
  buffer.Append(u'x');
  Utf8ToWide("\xEF\xBB\xBF", 3, buffer);
  EXPECT_EQ(buffer.Text(), u"x\uFEFF");
}

TEST(TextConversionTest, NullOrEmptyInputAppendsNothing) {
  WideBuffer wide;
  Utf8ToWide(nullptr, 5, wide);
  Utf8ToWide("abc", 0, wide);
  EXPECT_EQ(wide.Count(), 0u);
  ByteBuffer bytes;
  WideToUtf8(nullptr, 5, bytes);
  EXPECT_EQ(bytes.Count(), 0u);
}

TEST(TextConversionTest, TextStopsAtFirstZeroUnit) {
  // C0 80 is an overlong zero: it decodes to a zero unit, where the
  // terminated copy ends.
  EXPECT_EQ(Utf8ToWideText("ab\xC0\x80"
                           "cd"),
            u"ab");
}

TEST(TextBufferTest, FullBufferGrowsByHalf) {
  WideBuffer buffer;
  ASSERT_EQ(buffer.Capacity(), 256u);
  const std::u16string filler(256, u'a');
  buffer.Append(filler.data(), 256);
  EXPECT_EQ(buffer.Capacity(), 256u);
  buffer.Append(u'b');
  EXPECT_EQ(buffer.Capacity(), 384u);
  EXPECT_EQ(buffer.Count(), 257u);
  EXPECT_EQ(buffer.Text(), filler + u"b");
}

TEST(TextBufferTest, LargeAppendGrowsToWhatItNeeds) {
  ByteBuffer buffer;
  buffer.Append('x');
  const std::string big(1000, 'y');
  buffer.Append(big.data(), 1000);
  EXPECT_EQ(buffer.Capacity(), 1001u);
  EXPECT_EQ(buffer.Text(), "x" + big);
}

TEST(TextBufferTest, TerminatorGrowsAFullBuffer) {
  ByteBuffer buffer;
  const std::string full(256, 'z');
  buffer.Append(full.data(), 256);
  EXPECT_EQ(buffer.TerminatedText(), full);
  EXPECT_EQ(buffer.Capacity(), 384u);
  EXPECT_EQ(buffer.Count(), 256u);
}

TEST(TextConversionTest, LongTextCrossesSeveralGrowths) {
  std::string utf8;
  std::u16string expected;
  for (int i = 0; i < 3000; ++i) {
    utf8 += "\xE6\xAA\x94";
    expected += u'\u6A94';
  }
  EXPECT_EQ(Utf8ToWideText(utf8), expected);
  EXPECT_EQ(WideToUtf8Text(expected), utf8);
}

}  // namespace
}  // namespace kestrune
