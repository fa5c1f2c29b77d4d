#pragma once
// Fetching the update manifest into features.json in the user data folder.

#include <cstddef>
#include <string>

#include "update/downloader.h"

namespace kestrune {

// A manifest body longer than this is a failed fetch.
constexpr std::size_t kManifestMaxBytes = 1024 * 1024;

// Downloads the manifest within `limits` and returns its text. features.json
// is replaced only by a body that the manifest rule (ParseUpdateManifest)
// accepts, of at most kManifestMaxBytes. Otherwise (service unreachable, an
// error status, a cut-off, empty or unusable body) the file from an earlier
// run is left byte for byte and its text is returned. Empty when there is no
// such file, or when the data folder cannot be resolved.
// With `download`, tells how the download went. With `folder`, features.json
// is the one in that folder (a bundle) instead of the user data folder's.
std::string FetchManifestText(Downloader& downloader, const DownloadLimits& limits = {},
                              DownloadResult* download = nullptr,
                              const std::u16string& folder = {});

}  // namespace kestrune
