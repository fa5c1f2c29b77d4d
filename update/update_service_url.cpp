#include "update/update_service_url.h"

#include "update/text_conversion.h"

#ifndef KESTRUNE_UPDATE_HOST
#error "KESTRUNE_UPDATE_HOST must be defined by the build"
#endif

namespace kestrune {

std::u16string UpdateServiceUrl() {
  return Utf8ToWideText(std::string("https://") + KESTRUNE_UPDATE_HOST +
                        ":8443/api/v1/devices/firmwareUpdate?model=" + kWatchModel);
}

}  // namespace kestrune
