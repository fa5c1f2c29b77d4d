#pragma once
// How much of a line fits a terminal's width, for the live view's lines:
// a line longer than the terminal wraps, and the view, which moves the
// cursor up by lines to redraw them, would then draw over the wrong ones.

#include <string>

namespace kestrune {

// The columns `utf8` takes on a terminal: two for the wide characters of
// East Asian scripts (the status texts), one for the others.
int TerminalColumnsOf(const std::string& utf8);

// `utf8` cut to at most `columns` columns, at a character boundary; whole
// when it fits or when `columns` is 0 or less (width unknown).
std::string FitToColumns(const std::string& utf8, int columns);

}  // namespace kestrune
