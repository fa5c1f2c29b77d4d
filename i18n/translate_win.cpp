// Windows: the catalogues are carried in the program as RCDATA resources
// named after their language ("ZH_TW", "DE"), read by the program's own .mo
// reader; the language is the user's UI language (under Wine, what LANG or
// LC_ALL of the Wine process say).
#include <windows.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "i18n/mo_catalogue.h"
#include "i18n/translate.h"

namespace kestrune {
namespace {

// Read once before any thread starts, only read after.
MoCatalogue& Catalogue() {
  static MoCatalogue catalogue;
  return catalogue;
}

// "zh-TW" -> {"zh_TW", "zh"}: the catalogue of the language and region
// first, then the language's alone.
std::vector<std::string> CatalogueNames(const std::wstring& language) {
  std::string name;
  for (wchar_t c : language) name += c == L'-' ? '_' : static_cast<char>(c);
  std::vector<std::string> names{name};
  const std::size_t region = name.find('_');
  if (region != std::string::npos) names.push_back(name.substr(0, region));
  return names;
}

// The user's UI languages, most preferred first ("zh-TW", "en-US").
std::vector<std::wstring> UserLanguages() {
  ULONG count = 0;
  ULONG size = 0;
  std::vector<std::wstring> languages;
  if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0) {
    return languages;
  }
  std::wstring list(size, L'\0');
  if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, list.data(), &size)) {
    return languages;
  }
  for (std::size_t at = 0; at < list.size() && list[at] != L'\0';) {
    const std::size_t end = list.find(L'\0', at);
    languages.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  return languages;
}

bool ReadResource(const std::string& name, std::string& bytes) {
  std::wstring upper;
  for (char c : name) upper += static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  HRSRC found = FindResourceW(nullptr, upper.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return false;
  bytes.assign(static_cast<const char*>(data), SizeofResource(nullptr, found));
  return true;
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  bytes = all.str();
  return true;
}

// The first of the user's languages that has a catalogue; English (no
// catalogue) when none has, or the first is English.
template <typename Source>
bool LoadCatalogue(Source read) {
  const std::vector<std::wstring> languages = UserLanguages();
  for (const std::wstring& language : languages) {
    for (const std::string& name : CatalogueNames(language)) {
      if (name == "en" || name.rfind("en_", 0) == 0) return true;
      std::string bytes;
      if (read(name, bytes) && Catalogue().Read(bytes)) return true;
    }
  }
  return !languages.empty();
}

}  // namespace

bool StartTranslation() { return LoadCatalogue(ReadResource); }

bool StartTranslationIn(const std::string& folder) {
  return LoadCatalogue([&folder](const std::string& name, std::string& bytes) {
    return ReadFileBytes(folder + "/" + name + "/LC_MESSAGES/kestrune.mo", bytes);
  });
}

std::string Tr(const char* english) {
  const std::string* translated = Catalogue().Find(english);
  return translated != nullptr ? *translated : english;
}

std::string TrNumber(const char* one, const char* many, unsigned long n) {
  const std::string* translated = Catalogue().FindPlural(one, n);
  return translated != nullptr ? *translated : n == 1 ? one : many;
}

}  // namespace kestrune
