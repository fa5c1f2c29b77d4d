#include "app/cli/board_rows.h"

#include "i18n/translate.h"

namespace kestrune {

FittedBoard FitBoardRows(const std::vector<bool>& writing, std::size_t fixedLines, int height) {
  FittedBoard fitted;
  const std::size_t rows = writing.size();
  const std::size_t lines = height > 0 ? static_cast<std::size_t>(height) - 1 : 0;
  if (height <= 0 || rows + fixedLines <= lines) {
    for (std::size_t i = 0; i < rows; ++i) fitted.shown.push_back(i);
    return fitted;
  }
  // One line goes to the count of the others.
  const std::size_t room = lines > fixedLines + 1 ? lines - fixedLines - 1 : 0;
  for (std::size_t i = 0; i < rows; ++i) {
    if (writing[i] && fitted.shown.size() < room) {
      fitted.shown.push_back(i);
    } else {
      ++fitted.hidden;
      if (writing[i]) ++fitted.hiddenWriting;
    }
  }
  return fitted;
}

std::string HiddenRowsLine(const FittedBoard& fitted) {
  const std::string hidden = std::to_string(fitted.hidden);
  if (fitted.hiddenWriting == 0) {
    return TrN("+ {1} more watch; the summary lists every one",
               "+ {1} more watches; the summary lists every one", fitted.hidden, {hidden});
  }
  return TrN("+ {1} more watch ({2} being written); the summary lists every one",
             "+ {1} more watches ({2} being written); the summary lists every one", fitted.hidden,
             {hidden, std::to_string(fitted.hiddenWriting)});
}

}  // namespace kestrune
