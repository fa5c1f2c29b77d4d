#include "app/cli/board_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune {
namespace {

TEST(BoardRows, ShowsEveryRowThatFitsElseTheWatchesBeingWrittenAndACount) {
  const bool W = true, E = false;  // being written, ended
  const struct {
    const char* name;
    std::vector<bool> writing;
    std::size_t fixedLines;
    int height;
    std::vector<std::size_t> shown;
    std::size_t hidden, hiddenWriting;
  } cases[] = {
      {"height unknown: all",
       std::vector<bool>(30, W),
       1,
       0,
       {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
        15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29},
       0,
       0},
      {"fits with the last line free",
       {E, W, E, W, E, W, E, W},
       1,
       10,
       {0, 1, 2, 3, 4, 5, 6, 7},
       0,
       0},
      {"one row too many: the ended ones go",
       {E, W, E, W, E, W, E, W, E},
       1,
       10,
       {1, 3, 5, 7},
       5,
       0},
      {"12 being written on 10 lines",
       std::vector<bool>(12, W),
       1,
       10,
       {0, 1, 2, 3, 4, 5, 6},
       5,
       5},
      {"all ended", std::vector<bool>(12, E), 1, 10, {}, 12, 0},
      {"update --all has no count line",
       std::vector<bool>(10, W),
       0,
       10,
       {0, 1, 2, 3, 4, 5, 6, 7},
       2,
       2},
      {"a terminal too low for any row", {W, W, W}, 1, 3, {}, 3, 3},
  };
  for (const auto& c : cases) {
    const FittedBoard fitted = FitBoardRows(c.writing, c.fixedLines, c.height);
    EXPECT_EQ(fitted.shown, c.shown) << c.name;
    EXPECT_EQ(fitted.hidden, c.hidden) << c.name;
    EXPECT_EQ(fitted.hiddenWriting, c.hiddenWriting) << c.name;
    // Never taller than the terminal less its last line (when it has room).
    if (c.height > 2 && !fitted.shown.empty()) {
      EXPECT_LE(fitted.shown.size() + c.fixedLines + (fitted.hidden > 0 ? 1 : 0),
                static_cast<std::size_t>(c.height - 1))
          << c.name;
    }
  }
}

TEST(BoardRows, TheCountLineSaysHowManyAreLeftOutAndHowManyOfThemAreWritten) {
  FittedBoard fitted;
  fitted.hidden = 5;
  fitted.hiddenWriting = 2;
  EXPECT_EQ(HiddenRowsLine(fitted),
            "+ 5 more watches (2 being written); the summary lists every one");
  fitted.hidden = 1;
  fitted.hiddenWriting = 0;
  EXPECT_EQ(HiddenRowsLine(fitted), "+ 1 more watch; the summary lists every one");
}

}  // namespace
}  // namespace kestrune
