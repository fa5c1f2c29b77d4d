// The .mo reader against what msgfmt writes, in both byte orders.
#include "i18n/mo_catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace kestrune {
namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class MoCatalogueTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MoCatalogueTest, ReadsWhatMsgfmtWrote) {
  const std::string bytes = ReadAll(GetParam());
  ASSERT_GT(bytes.size(), 28u) << GetParam();
  MoCatalogue catalogue;
  ASSERT_TRUE(catalogue.Read(bytes));
  ASSERT_NE(catalogue.Find("Update complete"), nullptr);
  EXPECT_EQ(*catalogue.Find("Update complete"), "Update abgeschlossen");
  ASSERT_NE(catalogue.Find("Grüße"), nullptr);
  EXPECT_EQ(*catalogue.Find("Grüße"), "Grüße aus Zürich");
  // Untranslated and fuzzy entries are no translations; nor is the header.
  EXPECT_EQ(catalogue.Find("not translated"), nullptr);
  EXPECT_EQ(catalogue.Find("Update failed"), nullptr);
  EXPECT_EQ(catalogue.Find(""), nullptr);
  EXPECT_EQ(catalogue.Find("Update"), nullptr);
  // The plural entry: by number, and by its singular alone.
  ASSERT_NE(catalogue.FindPlural("{1} try", 1), nullptr);
  EXPECT_EQ(*catalogue.FindPlural("{1} try", 1), "{1} Versuch");
  EXPECT_EQ(*catalogue.FindPlural("{1} try", 0), "{1} Versuche");
  EXPECT_EQ(*catalogue.FindPlural("{1} try", 2), "{1} Versuche");
  EXPECT_EQ(*catalogue.Find("{1} try"), "{1} Versuch");
  EXPECT_EQ(catalogue.FindPlural("Update complete", 2), nullptr);
  EXPECT_EQ(catalogue.Size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, MoCatalogueTest,
                         ::testing::Values(KESTRUNE_MO_LITTLE, KESTRUNE_MO_BIG));

TEST(MoCatalogue, RefusesWhatIsNoCatalogue) {
  const std::string good = ReadAll(KESTRUNE_MO_LITTLE);
  ASSERT_GT(good.size(), 28u);
  std::string wrongMagic = good;
  wrongMagic[0] = 'x';
  std::string tableOutside = good;
  tableOutside[12] = '\xff';  // the originals' table far past the end
  tableOutside[13] = '\xff';
  const std::string cases[] = {"", good.substr(0, 20), wrongMagic, tableOutside,
                               good.substr(0, good.size() - 8)};  // the last string cut
  for (const std::string& bytes : cases) {
    MoCatalogue catalogue;
    EXPECT_FALSE(catalogue.Read(bytes)) << bytes.size() << " bytes";
    EXPECT_EQ(catalogue.Size(), 0u);
    EXPECT_EQ(catalogue.Find("Update complete"), nullptr);
  }
}

// A catalogue read again holds only what the second one says.
TEST(MoCatalogue, ReadingAgainReplaces) {
  MoCatalogue catalogue;
  ASSERT_TRUE(catalogue.Read(ReadAll(KESTRUNE_MO_LITTLE)));
  EXPECT_FALSE(catalogue.Read("nothing of the kind, long enough to have a header"));
  EXPECT_EQ(catalogue.Find("Update complete"), nullptr);
}

}  // namespace
}  // namespace kestrune
