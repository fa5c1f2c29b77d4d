#pragma once
// The downloader of a run that must not use the network: it fetches
// nothing and serves, for each target, the file an earlier download saved
// there (features.json, data<sequence>.bin).

#include <string>

#include "update/downloader.h"

namespace kestrune {

class OfflineDownloader : public Downloader {
 public:
  // The file already at `path` stands for the body of `url`, which is never
  // asked for. ok when the file can be read, is no longer than
  // limits.maxBytes (tooLarge otherwise) and limits.acceptBody takes it;
  // `bytes` is its length. The file is left as it is in every case.
  DownloadResult Download(const std::u16string& url, const std::u16string& path,
                          const DownloadLimits& limits) override;
};

// One for the whole program; it holds no state.
Downloader& SavedFilesDownloader();

}  // namespace kestrune
