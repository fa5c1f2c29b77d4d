#include "i18n/translate.h"

namespace kestrune {
namespace {

std::string FillIn(std::string text, std::initializer_list<std::string> values) {
  std::size_t number = 1;
  for (const std::string& value : values) {
    const std::string mark = "{" + std::to_string(number++) + "}";
    const std::size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), value);
  }
  return text;
}

}  // namespace

std::string Tr(const char* english, std::initializer_list<std::string> values) {
  return FillIn(Tr(english), values);
}

std::string TrN(const char* one, const char* many, unsigned long n,
                std::initializer_list<std::string> values) {
  return FillIn(TrNumber(one, many, n), values);
}

SaidText Said(const char* english, std::initializer_list<std::string> values) {
  return {FillIn(english, values), Tr(english, values)};
}

std::string Fill(const char* english, std::initializer_list<std::string> values) {
  return FillIn(english, values);
}

}  // namespace kestrune
