#include "app/cli/terminal_columns.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrune {
namespace {

struct FitCase {
  const char* name;
  std::string text;
  int columns;
  std::string fitted;
  int textColumns;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

class FitToColumnsTest : public testing::TestWithParam<FitCase> {};

TEST_P(FitToColumnsTest, CutsAtACharacterWithinTheColumns) {
  const FitCase& c = GetParam();
  EXPECT_EQ(TerminalColumnsOf(c.text), c.textColumns);
  EXPECT_EQ(FitToColumns(c.text, c.columns), c.fitted);
  if (c.columns > 0) {
    EXPECT_LE(TerminalColumnsOf(FitToColumns(c.text, c.columns)), c.columns);
  }
}

// 更新完成: four wide characters, three bytes each.
INSTANTIATE_TEST_SUITE_P(
    Table, FitToColumnsTest,
    testing::Values(FitCase{"AsciiFits", "KW-1001  /dev/ttyACM0", 80, "KW-1001  /dev/ttyACM0", 21},
                    FitCase{"AsciiCut", "KW-1001  /dev/ttyACM0", 7, "KW-1001", 21},
                    FitCase{"WideCountsTwice", "A 更新完成", 10, "A 更新完成", 10},
                    FitCase{"WideNeverHalved", "A 更新完成", 5, "A \xE6\x9B\xB4", 10},
                    FitCase{"WideCutAtItsStart", "A 更新完成", 4, "A \xE6\x9B\xB4", 10},
                    FitCase{"WidthUnknownKeepsAll", "A 更新完成", 0, "A 更新完成", 10},
                    FitCase{"BrokenByteIsOneColumn", "ab\xE6\x9B", 3, "ab\xE6", 4},
                    FitCase{"FourByteWide", "\xF0\xA0\x80\x80x", 2, "\xF0\xA0\x80\x80", 3}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrune
