#pragma once
// Writing answers into caller-sized UTF-16 buffers the way the Windows
// device queries do: all or nothing, never past the capacity.

#include <cstddef>
#include <string>
#include <vector>

namespace kestrune {

// Copies text with its NUL terminator; false (buffer untouched) when it does
// not fit.
bool CopyBoundedText(const std::u16string& text, char16_t* buffer, std::size_t capacity);

// Writes the strings as a list: each NUL-terminated, then one more NUL. An
// empty list is a single NUL. False (buffer untouched) when it does not fit.
bool CopyBoundedTextList(const std::vector<std::u16string>& texts, char16_t* buffer,
                         std::size_t capacity);

}  // namespace kestrune
