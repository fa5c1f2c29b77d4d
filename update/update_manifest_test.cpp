#include "update/update_manifest.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace kestrune {
namespace {

// Pads a JSON object text with a member outside `response` until it is
// longer than 256 bytes, so that only the shape decides.
std::string Padded(std::string json) {
  const size_t brace = json.rfind('}');
  std::string padding = ",\"padding\":\"" + std::string(300, 'p') + "\"";
  json.insert(brace, padding);
  return json;
}

std::string WithResponse(const std::string& responseMembers) {
  return Padded("{\"response\":{" + responseMembers + "}}");
}

const char kVersionAndNote[] = "\"firmware_version\":\"1.006\",\"release_note\":\"notes\"";

std::string WithFiles(const std::string& files) {
  return WithResponse(std::string(kVersionAndNote) + ",\"firmware_files\":" + files);
}

TEST(UpdateManifestTest, ReadsAllMembersInOrder) {
  const std::string text = WithResponse(
      "\"firmware_version\":\"\xEF\xBB\xBF"
      "1.006\","
      "\"release_note\":\"- \xE4\xBF\xAE\xE6\xAD\xA3\\r\\nline 2\","
      "\"extra\":[1,2],"
      "\"firmware_files\":["
      "{\"size\":8192,\"sequence\":1,\"file_path\":\"https://localhost:8443/files/1.bin\","
      "\"address\":32768},"
      "{\"size\":4096,\"sequence\":-2,\"file_path\":\"u\",\"address\":-2147483648,\"x\":1.5}]");
  UpdateManifest m;
  ASSERT_TRUE(ParseUpdateManifest(text, m));
  EXPECT_EQ(m.firmwareVersion, u"1.006");
  EXPECT_EQ(m.releaseNote, u"- \u4FEE\u6B63\r\nline 2");
  ASSERT_EQ(m.firmwareFiles.size(), 2u);
  EXPECT_EQ(m.firmwareFiles[0].size, 8192);
  EXPECT_EQ(m.firmwareFiles[0].sequence, 1);
  EXPECT_EQ(m.firmwareFiles[0].filePath, u"https://localhost:8443/files/1.bin");
  EXPECT_EQ(m.firmwareFiles[0].address, 32768);
  EXPECT_EQ(m.firmwareFiles[1].sequence, -2);
  EXPECT_EQ(m.firmwareFiles[1].address, INT32_MIN);
}

TEST(UpdateManifestTest, ThresholdIsOnByteLength) {
  const std::string core = "{\"response\":{" + std::string(kVersionAndNote) + "},\"p\":\"\"}";
  std::string at256 = core;
  at256.insert(at256.size() - 2, 256 - core.size(), 'p');
  ASSERT_EQ(at256.size(), 256u);
  UpdateManifest m;
  EXPECT_FALSE(ParseUpdateManifest(at256, m));
  std::string at257 = core;
  at257.insert(at257.size() - 2, 257 - core.size(), 'p');
  ASSERT_EQ(at257.size(), 257u);
  EXPECT_TRUE(ParseUpdateManifest(at257, m));
  EXPECT_EQ(m.firmwareVersion, u"1.006");
}

TEST(UpdateManifestTest, MissingFilesAndNumbersReadAsEmptyAndZero) {
  UpdateManifest m;
  ASSERT_TRUE(ParseUpdateManifest(WithResponse(kVersionAndNote), m));
  EXPECT_TRUE(m.firmwareFiles.empty());
  ASSERT_TRUE(ParseUpdateManifest(WithFiles("[{\"file_path\":\"u\"}]"), m));
  ASSERT_EQ(m.firmwareFiles.size(), 1u);
  EXPECT_EQ(m.firmwareFiles[0].size, 0);
  EXPECT_EQ(m.firmwareFiles[0].sequence, 0);
  EXPECT_EQ(m.firmwareFiles[0].address, 0);
}

TEST(UpdateManifestTest, StringsEndAtTheirFirstZero) {
  UpdateManifest m;
  ASSERT_TRUE(ParseUpdateManifest(
      WithResponse("\"firmware_version\":\"1.0\\u00002\",\"release_note\":\"n\""), m));
  EXPECT_EQ(m.firmwareVersion, u"1.0");
}

struct InvalidCase {
  const char* name;
  std::string text;
};

// Test names and failure messages show the case by its name.
void PrintTo(const InvalidCase& c, std::ostream* os) { *os << c.name; }

class InvalidManifestTest : public testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidManifestTest, IsRejectedAndOutputUntouched) {
  UpdateManifest m;
  m.firmwareVersion = u"before";
  m.firmwareFiles.push_back(FirmwareFileEntry{});
  EXPECT_FALSE(ParseUpdateManifest(GetParam().text, m));
  EXPECT_EQ(m.firmwareVersion, u"before");
  EXPECT_EQ(m.firmwareFiles.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidManifestTest,
    testing::Values(
        InvalidCase{"SyntaxErrorAfterMembers",
                    WithResponse(std::string(kVersionAndNote) + ",\"x\" 1")},
        InvalidCase{"CutOffText", WithResponse(kVersionAndNote).substr(0, 280)},
        InvalidCase{"HtmlErrorPage", "<html><body>" + std::string(300, 'x') + "</body></html>"},
        InvalidCase{"RootIsArray", "[" + std::string(300, ' ') + "{\"response\":{}}]"},
        InvalidCase{"ResponseMissing", Padded("{\"firmware_version\":\"1.006\"}")},
        InvalidCase{"ResponseIsString", Padded("{\"response\":\"x\"}")},
        InvalidCase{"VersionMissing", WithResponse("\"release_note\":\"n\"")},
        InvalidCase{"VersionIsNumber",
                    WithResponse("\"firmware_version\":1.006,\"release_note\":\"n\"")},
        InvalidCase{"NoteIsNull", WithResponse("\"firmware_version\":\"1\",\"release_note\":null")},
        InvalidCase{"FilesIsObject", WithFiles("{}")},
        InvalidCase{"EntryIsNumber", WithFiles("[7]")},
        InvalidCase{"FilePathMissing", WithFiles("[{\"size\":1}]")},
        InvalidCase{"FilePathIsNumber", WithFiles("[{\"file_path\":5}]")},
        InvalidCase{"SizeIsReal", WithFiles("[{\"file_path\":\"u\",\"size\":5.0}]")},
        InvalidCase{"SizeIsString", WithFiles("[{\"file_path\":\"u\",\"size\":\"5\"}]")},
        InvalidCase{"SizeAboveInt32", WithFiles("[{\"file_path\":\"u\",\"size\":2147483648}]")},
        InvalidCase{"AddressBelowInt32",
                    WithFiles("[{\"file_path\":\"u\",\"address\":-2147483649}]")},
        InvalidCase{"SequenceIsHuge",
                    WithFiles("[{\"file_path\":\"u\",\"sequence\":18446744073709551615}]")},
        InvalidCase{"SecondEntryBad",
                    WithFiles("[{\"file_path\":\"u\"},{\"file_path\":\"u\",\"size\":true}]")},
        InvalidCase{"SizeBelowZero", WithFiles("[{\"file_path\":\"u\",\"size\":-1}]")},
        InvalidCase{"SecondEntrySizeBelowZero", WithFiles("[{\"file_path\":\"u\",\"size\":4096},"
                                                          "{\"file_path\":\"u\",\"size\":-4096}]")},
        // One saved file would stand for both images.
        InvalidCase{"SequenceShared",
                    WithFiles("[{\"file_path\":\"a\",\"sequence\":3},{\"file_path\":\"b\","
                              "\"sequence\":2},{\"file_path\":\"c\",\"sequence\":3}]")},
        InvalidCase{"SequenceMissingTwice",
                    WithFiles("[{\"file_path\":\"a\"},{\"file_path\":\"b\"}]")},
        InvalidCase{"DeepNesting",
                    Padded("{\"a\":" + std::string(5000, '[') + std::string(5000, ']') + "}")}),
    [](const testing::TestParamInfo<InvalidCase>& info) { return std::string(info.param.name); });

TEST(UpdateManifestTest, ASharedSequenceIsNamed) {
  UpdateManifest m;
  std::string why = "left from before";
  EXPECT_FALSE(ParseUpdateManifest(
      WithFiles("[{\"file_path\":\"a\",\"sequence\":7},{\"file_path\":\"b\",\"sequence\":7}]"), m,
      &why));
  EXPECT_EQ(why, "two images share sequence 7");
  EXPECT_TRUE(ParseUpdateManifest(
      WithFiles("[{\"file_path\":\"a\",\"sequence\":7},{\"file_path\":\"b\",\"sequence\":8}]"), m,
      &why));
  EXPECT_EQ(why, "");
}

}  // namespace
}  // namespace kestrune
