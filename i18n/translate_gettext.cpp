// Linux: the C library's gettext, with the catalogues installed under
// share/locale beside the program's prefix.
#include <libintl.h>

#include <clocale>

#include "i18n/translate.h"

namespace kestrune {

namespace {
constexpr char kDomain[] = "kestrune";
}  // namespace

void StartTranslation() {
  std::setlocale(LC_ALL, "");
  bindtextdomain(kDomain, KESTRUNE_LOCALE_DIR);
  bind_textdomain_codeset(kDomain, "UTF-8");
}

std::string Tr(const char* english) { return dgettext(kDomain, english); }

}  // namespace kestrune
