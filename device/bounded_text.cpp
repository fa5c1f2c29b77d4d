#include "device/bounded_text.h"

#include <algorithm>

namespace kestrune {

bool CopyBoundedText(const std::u16string& text, char16_t* buffer, std::size_t capacity) {
  if (text.size() >= capacity) return false;
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  return true;
}

bool CopyBoundedTextList(const std::vector<std::u16string>& texts, char16_t* buffer,
                         std::size_t capacity) {
  std::size_t needed = 1;
  for (const auto& text : texts) needed += text.size() + 1;
  if (needed > capacity) return false;
  char16_t* out = buffer;
  for (const auto& text : texts) {
    out = std::copy(text.begin(), text.end(), out);
    *out++ = u'\0';
  }
  *out = u'\0';
  return true;
}

}  // namespace kestrune
