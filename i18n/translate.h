#pragma once
// The user's language for what the command line and the Linux window show.
// Texts are written in English in the code and marked with Tr() (or N_()
// where only marked), so that xgettext finds them; a catalogue per language
// gives the translation, English is what C/POSIX and a missing catalogue
// get. Stable words a script reads (JSON keys, reason words) are never
// passed through here.

#include <initializer_list>
#include <string>

namespace kestrune {

// Chooses the catalogue from the environment (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG on Linux; the user's UI language on Windows). Called once, first
// thing in main, before any thread starts. The catalogues are looked for in
// `locale/` beside the program (a build tree), then in `../share/locale`
// from the program's folder (wherever the package was installed), then
// under the install prefix chosen at build time; on Windows they are
// carried in the program. False when the user's locale is not installed
// here (English is shown then). The process's own locale is left as it is:
// the system's error texts in the run log stay English.
bool StartTranslation();

// As StartTranslation(), with the catalogues read from `folder`
// (LANG/LC_MESSAGES/kestrune.mo) rather than from where the program finds
// its own: for tests of what a program shows in each language.
bool StartTranslationIn(const std::string& folder);

// `english` in the user's language; `english` itself when no catalogue
// has it.
std::string Tr(const char* english);

// Tr() of `english` with "{1}", "{2}", ... replaced by `values` in order;
// a translation may move them.
std::string Tr(const char* english, std::initializer_list<std::string> values);

// The form of `one` or `many` for `n`, as it is; TrN fills it in.
std::string TrNumber(const char* one, const char* many, unsigned long n);

// The form of `one` or `many` that suits the number `n` in the user's
// language, its placeholders filled ("{1} try", "{1} tries").
std::string TrN(const char* one, const char* many, unsigned long n,
                std::initializer_list<std::string> values);

// A text said both to the user, in the user's language, and in the run
// log, in English.
struct SaidText {
  std::string english;
  std::string shown;
};
SaidText Said(const char* english, std::initializer_list<std::string> values = {});

// `english` with its placeholders filled, not translated: the same text for
// where English stays (JSON members other than the status, the run log).
std::string Fill(const char* english, std::initializer_list<std::string> values);

}  // namespace kestrune

// Marks a text for the catalogue where it is translated later (a table).
#define N_(text) text
