#include "i18n/translate.h"

namespace kestrune {

std::string Tr(const char* english, std::initializer_list<std::string> values) {
  std::string text = Tr(english);
  std::size_t number = 1;
  for (const std::string& value : values) {
    const std::string mark = "{" + std::to_string(number++) + "}";
    const std::size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), value);
  }
  return text;
}

}  // namespace kestrune
