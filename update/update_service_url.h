#pragma once
// Where the update manifest comes from: fixed in the program at build time.

#include <string>

namespace kestrune {

// The watch model the service is asked about; the record of saved images
// carries it, so images saved for another model are never written.
inline constexpr char kWatchModel[] = "K1";

// https://HOST:8443/api/v1/devices/firmwareUpdate?model=K1, HOST being the
// build's KESTRUNE_UPDATE_HOST and K1 kWatchModel.
std::u16string UpdateServiceUrl();

}  // namespace kestrune
