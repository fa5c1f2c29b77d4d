#pragma once
// Blocking HTTP(S) GET of a URL into a local file.

#include <string>

namespace kestrune {

class Downloader {
 public:
  virtual ~Downloader() = default;

  // Fetches `url` and stores its body in the file at `path`. Returns true
  // only when the whole body arrived with a 2xx status; the file is then
  // replaced. On any failure the file at `path` is left exactly as it was.
  virtual bool DownloadUrlToFile(const std::u16string& url,
                                 const std::u16string& path) = 0;
};

// The platform's downloader: WinINet on Windows, libcurl elsewhere, with the
// platform's own certificate validation.
Downloader& PlatformDownloader();

}  // namespace kestrune
