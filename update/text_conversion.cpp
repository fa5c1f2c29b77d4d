#include "update/text_conversion.h"

#include <cstdint>

namespace kestrune {
namespace {

constexpr char16_t kReplacement = u'?';
constexpr char16_t kByteOrderMark = 0xFEFF;

uint32_t Low6(unsigned char b) { return b & 0x3Fu; }

void AppendByte(ByteBuffer& out, uint32_t b) { out.Append(static_cast<char>(b)); }

}  // namespace

void Utf8ToWide(const char* bytes, size_t length, WideBuffer& out) {
  if (bytes == nullptr || length == 0) return;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < length) {
    const unsigned char b = p[i];
    if (b == 0) return;
    const size_t following = length - i - 1;
    if (b < 0x80) {
      out.Append(static_cast<char16_t>(b));
      i += 1;
    } else if ((b & 0xE0) == 0xC0) {
      if (following < 1) {
        out.Append(kReplacement);
        return;
      }
      out.Append(static_cast<char16_t>(((b & 0x1Fu) << 6) | Low6(p[i + 1])));
      i += 2;
    } else if ((b & 0xF0) == 0xE0) {
      if (following < 2) {
        out.Append(kReplacement);
        return;
      }
      const auto unit =
          static_cast<char16_t>(((b & 0x0Fu) << 12) | (Low6(p[i + 1]) << 6) | Low6(p[i + 2]));
      if (!(unit == kByteOrderMark && out.Count() == 0)) out.Append(unit);
      i += 3;
    } else if ((b & 0xF8) == 0xF0) {
      if (following < 3) {
        out.Append(kReplacement);
        return;
      }
      const uint32_t cp =
          ((b & 0x07u) << 18) | (Low6(p[i + 1]) << 12) | (Low6(p[i + 2]) << 6) | Low6(p[i + 3]);
      if (cp < 0x10000) {
        out.Append(static_cast<char16_t>(cp));
      } else if (cp <= 0x10FFFF) {
        const uint32_t v = cp - 0x10000;
        const char16_t pair[2] = {static_cast<char16_t>(0xD800 + (v >> 10)),
                                  static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
        out.Append(pair, 2);
      } else {
        out.Append(kReplacement);
      }
      i += 4;
    } else {
      out.Append(kReplacement);
      i += 1;
    }
  }
}

void WideToUtf8(const char16_t* units, size_t count, ByteBuffer& out) {
  if (units == nullptr) return;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t u = units[i];
    if (u < 0x80) {
      AppendByte(out, u);
    } else if (u < 0x800) {
      AppendByte(out, 0xC0 | (u >> 6));
      AppendByte(out, 0x80 | (u & 0x3F));
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      const bool pairs =
          u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
      if (!pairs) {
        AppendByte(out, '?');
        continue;
      }
      const uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
      ++i;
      AppendByte(out, 0xF0 | (cp >> 18));
      AppendByte(out, 0x80 | ((cp >> 12) & 0x3F));
      AppendByte(out, 0x80 | ((cp >> 6) & 0x3F));
      AppendByte(out, 0x80 | (cp & 0x3F));
    } else {
      AppendByte(out, 0xE0 | (u >> 12));
      AppendByte(out, 0x80 | ((u >> 6) & 0x3F));
      AppendByte(out, 0x80 | (u & 0x3F));
    }
  }
}

std::u16string Utf8ToWideText(const std::string& utf8) {
  WideBuffer buffer;
  Utf8ToWide(utf8.data(), utf8.size(), buffer);
  return buffer.TerminatedText();
}

std::string WideToUtf8Text(const std::u16string& wide) {
  ByteBuffer buffer;
  WideToUtf8(wide.data(), wide.size(), buffer);
  return buffer.Text();
}

}  // namespace kestrune
