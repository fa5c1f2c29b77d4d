// Linux: the C library's gettext, with the catalogues installed under
// share/locale beside the program's prefix. The user's locale is used for
// the lookup alone (a locale object of the translating thread, for the
// call): the process stays in the C locale, so the system's error texts in
// the run log stay English and numbers keep their point.
#include <libintl.h>
#include <locale.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "i18n/translate.h"

// The C library's count of catalogue changes: raised, it forgets the
// translations it has looked up (the language may have changed).
extern "C" int _nl_msg_cat_cntr;

namespace kestrune {

namespace {

constexpr char kDomain[] = "kestrune";

// The user's locale for messages, made once before any thread starts and
// only read after; (locale_t)0 when it is C or not installed here.
locale_t userMessages = static_cast<locale_t>(0);

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

// The thread uses the user's locale while it lives.
class UserLocaleHere {
 public:
  UserLocaleHere() : previous_(userMessages ? uselocale(userMessages) : static_cast<locale_t>(0)) {}
  ~UserLocaleHere() {
    if (previous_) uselocale(previous_);
  }
  UserLocaleHere(const UserLocaleHere&) = delete;
  UserLocaleHere& operator=(const UserLocaleHere&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

bool StartTranslationIn(const std::string& folder) {
  if (userMessages) freelocale(userMessages);
  // LC_ALL, LC_MESSAGES, LANG as the C library reads them; the character
  // set goes with the messages' locale.
  userMessages = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (!userMessages) userMessages = newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(0));
  bindtextdomain(kDomain, folder.c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
  ++_nl_msg_cat_cntr;
  return userMessages != static_cast<locale_t>(0);
}

bool StartTranslation() { return StartTranslationIn(ProgramLocaleFolder()); }

// The empty text is the catalogue's header, never a message.
std::string Tr(const char* english) {
  if (*english == '\0') return "";
  const UserLocaleHere user;
  return dgettext(kDomain, english);
}

std::string TrNumber(const char* one, const char* many, unsigned long n) {
  const UserLocaleHere user;
  return dngettext(kDomain, one, many, n);
}

}  // namespace kestrune
