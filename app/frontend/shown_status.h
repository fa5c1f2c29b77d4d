#pragma once
// The status line in the user's language. The core posts its status texts
// as the Windows dialog shows them (Traditional Chinese, each fixed); the
// command line and the Linux window show each in the user's language
// through this one table, whose Traditional Chinese catalogue gives back
// exactly the texts the dialog shows.

#include <string>

namespace kestrune {

// `status` in the user's language, UTF-8: a status text of the core
// translated, a status with the deferred close in front of it with both
// parts translated, anything else (a version, a text made by the front-end
// itself) as it is.
std::string ShownStatus(const std::u16string& status);

// The English of one of the core's status texts, nullptr for any other
// text: what the catalogues translate.
const char* StatusEnglish(const std::u16string& status);

}  // namespace kestrune
