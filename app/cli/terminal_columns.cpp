#include "app/cli/terminal_columns.h"

#include <cstddef>
#include <cstdint>

namespace kestrune {
namespace {

// The code point of the UTF-8 sequence at `at` and its length in bytes; a
// byte that starts no valid sequence counts as one character of its own.
std::uint32_t CodePointAt(const std::string& text, std::size_t at, std::size_t& length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  length = lead < 0x80           ? 1
           : (lead >> 5) == 0x6  ? 2
           : (lead >> 4) == 0xE  ? 3
           : (lead >> 3) == 0x1E ? 4
                                 : 1;
  if (at + length > text.size()) length = 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) length = 1;
  }
  if (length == 1) return lead;
  std::uint32_t point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) point = (point << 6) | (byte(at + i) & 0x3F);
  return point;
}

// East Asian wide and fullwidth ranges (Hangul, CJK, kana, fullwidth forms).
bool IsWide(std::uint32_t point) {
  return (point >= 0x1100 && point <= 0x115F) || (point >= 0x2E80 && point <= 0x303E) ||
         (point >= 0x3041 && point <= 0x33FF) || (point >= 0x3400 && point <= 0x4DBF) ||
         (point >= 0x4E00 && point <= 0x9FFF) || (point >= 0xA000 && point <= 0xA4CF) ||
         (point >= 0xAC00 && point <= 0xD7A3) || (point >= 0xF900 && point <= 0xFAFF) ||
         (point >= 0xFE30 && point <= 0xFE4F) || (point >= 0xFF00 && point <= 0xFF60) ||
         (point >= 0xFFE0 && point <= 0xFFE6) || (point >= 0x20000 && point <= 0x3FFFD);
}

}  // namespace

int TerminalColumnsOf(const std::string& utf8) {
  int columns = 0;
  for (std::size_t at = 0, length = 0; at < utf8.size(); at += length) {
    columns += IsWide(CodePointAt(utf8, at, length)) ? 2 : 1;
  }
  return columns;
}

std::string FitToColumns(const std::string& utf8, int columns) {
  if (columns <= 0) return utf8;
  int used = 0;
  for (std::size_t at = 0, length = 0; at < utf8.size(); at += length) {
    const int width = IsWide(CodePointAt(utf8, at, length)) ? 2 : 1;
    if (used + width > columns) return utf8.substr(0, at);
    used += width;
  }
  return utf8;
}

}  // namespace kestrune
