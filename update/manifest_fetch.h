#pragma once
// Fetching the update manifest into features.json in the user data folder.

#include <string>

namespace kestrune {

class Downloader;
struct DownloadResult;

// Downloads the manifest into features.json and returns that file's bytes.
// When the service cannot be reached (or answers with an error, or the
// transfer breaks off) the file from an earlier run is left in place and its
// text is returned. Empty when there is no such file, or when the data
// folder cannot be resolved.
// With `download`, tells how the download went.
std::string FetchManifestText(Downloader& downloader, DownloadResult* download = nullptr);

}  // namespace kestrune
