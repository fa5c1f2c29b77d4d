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
// thing in main, before any thread starts.
void StartTranslation();

// `english` in the user's language; `english` itself when no catalogue
// has it.
std::string Tr(const char* english);

// Tr() of `english` with "{1}", "{2}", ... replaced by `values` in order;
// a translation may move them.
std::string Tr(const char* english, std::initializer_list<std::string> values);

}  // namespace kestrune

// Marks a text for the catalogue where it is translated later (a table).
#define N_(text) text
