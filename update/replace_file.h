#pragma once
// Putting a small file in place in one step, so a reader (or a run that
// ends half-way) sees the old file or the new one, never part of either.

#include <string>

namespace kestrune {

// Writes `bytes` to a temporary file beside `path`, makes it durable, then
// puts it in place of `path`. On failure `path` is as it was, the temporary
// file is gone, and `error` names the operation and the system's error.
bool ReplaceFileContents(const std::u16string& path, const std::string& bytes, std::string& error);

}  // namespace kestrune
