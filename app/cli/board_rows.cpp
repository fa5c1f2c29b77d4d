#include "app/cli/board_rows.h"

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
  std::string line =
      "+ " + std::to_string(fitted.hidden) + " more watch" + (fitted.hidden == 1 ? "" : "es");
  if (fitted.hiddenWriting > 0)
    line += " (" + std::to_string(fitted.hiddenWriting) + " being written)";
  return line + "; the summary lists every one";
}

}  // namespace kestrune
