// Linux: the C library's gettext, with the catalogues installed under
// share/locale beside the program's prefix.
#include <libintl.h>

#include <clocale>
#include <filesystem>
#include <system_error>

#include "i18n/translate.h"

namespace kestrune {

namespace {

constexpr char kDomain[] = "kestrune";

// Where the catalogues are: beside a program in its build tree, in the
// share/locale of the prefix the program runs from, or where it was meant
// to be installed.
std::string ProgramLocaleFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path folder = program.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / "locale", folder.parent_path() / "share" / "locale"}) {
      if (std::filesystem::is_directory(candidate, error)) return candidate.string();
    }
  }
  return KESTRUNE_LOCALE_DIR;
}

}  // namespace

void StartTranslationIn(const std::string& folder) {
  // Only the language of messages and the character set follow the user:
  // numbers in JSON and in "%.1f" stay written with a point.
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  bindtextdomain(kDomain, folder.c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
}

void StartTranslation() { StartTranslationIn(ProgramLocaleFolder()); }

// The empty text is the catalogue's header, never a message.
std::string Tr(const char* english) { return *english == '\0' ? "" : dgettext(kDomain, english); }

std::string TrNumber(const char* one, const char* many, unsigned long n) {
  return dngettext(kDomain, one, many, n);
}

}  // namespace kestrune
