#pragma once
// The system's own conversions between UTF-8 and UTF-16 (never the
// platform's code-page functions).

#include <cstddef>
#include <string>

#include "update/text_buffers.h"

namespace kestrune {

// Appends the UTF-16 form of `length` UTF-8 bytes to `out`.
// - A zero lead byte ends the conversion.
// - A sequence cut off by the end of the range appends one '?' and ends.
// - A lead byte 0x80-0xBF or 0xF8-0xFF appends '?' and decoding goes on
//   with the next byte.
// - Continuation bytes are taken by their low six bits; overlong forms
//   decode like any other.
// - A four-byte sequence for U+10000..U+10FFFF becomes a surrogate pair; one
//   that decodes below U+10000 is one unit; one above U+10FFFF is '?'.
// - U+FEFF is dropped while `out` is still empty (a leading byte-order mark).
void Utf8ToWide(const char* bytes, size_t length, WideBuffer& out);

// Appends the UTF-8 form of exactly `count` UTF-16 units to `out` (zero
// units included). A high surrogate followed by a low one becomes one
// four-byte sequence; a surrogate without its partner becomes '?', so the
// result is always valid UTF-8.
void WideToUtf8(const char16_t* units, size_t count, ByteBuffer& out);

// String forms. Utf8ToWideText keeps the text up to its first zero unit,
// as a terminated buffer copied into a string does; WideToUtf8Text keeps
// every unit.
std::u16string Utf8ToWideText(const std::string& utf8);
std::string WideToUtf8Text(const std::u16string& wide);

}  // namespace kestrune
