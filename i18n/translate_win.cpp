// Windows: no catalogue is read yet; the English source texts are shown.
#include "i18n/translate.h"

namespace kestrune {

void StartTranslation() {}

std::string Tr(const char* english) { return english; }

}  // namespace kestrune
