#include "update/format_path.h"

#include <cstdarg>
#include <string>

namespace kestrune {
namespace {

class BoundedWriter {
 public:
  explicit BoundedWriter(char16_t* buffer) : buffer_(buffer) {}
  void Put(char16_t c) {
    if (count_ + 1 < kPathBufferUnits) {
      buffer_[count_++] = c;
    } else {
      cut_ = true;
    }
  }
  void Put(const std::u16string& text) {
    for (char16_t c : text) Put(c);
  }
  bool Finish() {
    buffer_[count_] = 0;
    return !cut_;
  }

 private:
  char16_t* buffer_;
  size_t count_ = 0;
  bool cut_ = false;
};

std::u16string Decimal(int value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

bool FormatPath(char16_t* buffer, const char16_t* format, ...) {
  BoundedWriter out(buffer);
  va_list args;
  va_start(args, format);
  for (const char16_t* f = format; *f != 0; ++f) {
    if (*f == u'\\') {
      out.Put(kPathSeparator);
    } else if (*f != u'%') {
      out.Put(*f);
    } else if (f[1] == u's') {
      const char16_t* text = va_arg(args, const char16_t*);
      for (; text != nullptr && *text != 0; ++text) out.Put(*text);
      ++f;
    } else if (f[1] == u'd') {
      out.Put(Decimal(va_arg(args, int)));
      ++f;
    } else if (f[1] == u'%') {
      out.Put(u'%');
      ++f;
    } else {
      out.Put(u'%');  // an unknown conversion is copied as text
    }
  }
  va_end(args);
  return out.Finish();
}

}  // namespace kestrune
