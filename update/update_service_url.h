#pragma once
// Where the update manifest comes from: fixed in the program at build time.

#include <string>

namespace kestrune {

// https://HOST:8443/api/v1/devices/firmwareUpdate?model=K1, HOST being the
// build's KESTRUNE_UPDATE_HOST.
std::u16string UpdateServiceUrl();

}  // namespace kestrune
