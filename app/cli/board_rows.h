#pragma once
// Which rows of the several-watch live view a terminal can show. The view
// is redrawn in place by moving the cursor up over what it drew; once it is
// taller than the terminal, the lines that scrolled away cannot be reached
// and every redraw would push more copies into the scrollback. So when the
// rows do not fit, the view shows the watches being written and one line
// counting the others.

#include <cstddef>
#include <string>
#include <vector>

namespace kestrune {

struct FittedBoard {
  std::vector<std::size_t> shown;  // the rows drawn, in their order
  std::size_t hidden = 0;          // rows left out, counted on a line of their own
  std::size_t hiddenWriting = 0;   // of them, being written
};

// `writing[i]` says whether row i's watch is being written; `fixedLines` are
// the lines the view draws below its rows (the station's count); `height`
// is the terminal's in lines, 0 when unknown (everything is shown). The
// terminal's last line stays free: the cursor rests there.
FittedBoard FitBoardRows(const std::vector<bool>& writing, std::size_t fixedLines, int height);

// The line that counts the rows left out: "+ 5 more watches (2 being
// written); the summary lists every one".
std::string HiddenRowsLine(const FittedBoard& fitted);

}  // namespace kestrune
