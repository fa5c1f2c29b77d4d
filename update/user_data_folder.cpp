#include "update/user_data_folder.h"

namespace kestrune {

const char16_t kUserDataFolderName[] = u"orvel kestrune";

}  // namespace kestrune
