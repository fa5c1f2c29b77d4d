#pragma once
// A message catalogue in GNU gettext's binary form (.mo, what msgfmt
// writes), read into memory: where no C library's gettext reads it for us.

#include <string>
#include <unordered_map>
#include <vector>

namespace kestrune {

class MoCatalogue {
 public:
  // Reads `bytes`, a whole .mo file of either byte order; false (and an
  // empty catalogue) when they are not one: a wrong magic number, a table
  // or a string that lies outside the bytes.
  bool Read(const std::string& bytes);

  // The translation of `english`, or nullptr when the catalogue has none.
  // A plural entry answers to its singular with its first form.
  const std::string* Find(const std::string& english) const;

  // The form of the plural entry `one` for the number `n`, or nullptr.
  // The languages read so have one form (Chinese) or two, one for n == 1
  // (German, English), as the header's "nplurals=" says.
  const std::string* FindPlural(const std::string& one, unsigned long n) const;

  std::size_t Size() const { return translations_.size(); }

 private:
  std::unordered_map<std::string, std::string> translations_;
  std::unordered_map<std::string, std::vector<std::string>> plurals_;
  bool oneForm_ = false;
};

}  // namespace kestrune
