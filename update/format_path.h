#pragma once
// Bounded printf-style formatting of file paths into UTF-16 buffers.

#include <cstddef>

namespace kestrune {

// Size of the buffers that FormatPath writes into, terminator included.
constexpr size_t kPathBufferUnits = 4096;

#ifdef _WIN32
constexpr char16_t kPathSeparator = u'\\';
#else
constexpr char16_t kPathSeparator = u'/';
#endif

// Formats into `buffer` (kPathBufferUnits units) and terminates it. The
// format knows %s (a const char16_t* argument), %d (an int) and %%; a
// backslash in the format stands for the platform's path separator, so one
// format such as u"%s\\data%d.bin" serves every platform (backslashes inside
// %s arguments are copied unchanged). Text that does not fit is cut off at
// kPathBufferUnits - 1 units; returns false in that case.
bool FormatPath(char16_t* buffer, const char16_t* format, ...);

}  // namespace kestrune
