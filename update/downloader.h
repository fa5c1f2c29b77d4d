#pragma once
// Blocking HTTP(S) GET of a URL into a local file.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kestrune {

// The bounds of one download, and the last word on its body.
struct DownloadLimits {
  // The transfer fails when no byte arrives for this long, connecting and
  // the TLS handshake included.
  std::chrono::milliseconds stallTimeout{60000};
  // More redirects than this fail the transfer; a redirect from https to
  // http always does.
  int maxRedirects = 10;
  // A body longer than this fails as soon as it is exceeded, without
  // storing the rest.
  std::optional<std::uint64_t> maxBytes;
  // Given the complete body, read back from the temporary file that the
  // download still holds, before that file replaces the target; false fails
  // the download and keeps the target.
  std::function<bool(const std::string& body)> acceptBody;
};

// How one download went, for the run log.
struct DownloadResult {
  bool ok = false;             // the whole body arrived and replaced the target
  long httpStatus = 0;         // 0 when no answer arrived
  long errorCode = 0;          // libcurl, WinINet or system error; 0 for none
  std::string errorText;       // the error's own message, or what failed
  int systemError = 0;         // the system's error writing the file (ENOSPC, ...); 0 for none
  std::uint64_t bytes = 0;     // body bytes received
  bool tooLarge = false;       // the body was longer than DownloadLimits::maxBytes
  bool fromSavedFile = false;  // offline: the file saved at the target was the body

  // "HTTP 200, 5000 bytes", "curl error 7 (Couldn't connect to server)" or
  // "offline, saved file, 5000 bytes".
  std::string Describe() const;
};

class Downloader {
 public:
  virtual ~Downloader() = default;

  // Fetches `url` and stores its body in the file at `path`. ok only when
  // the whole body arrived with a 2xx status within `limits` and was
  // accepted; the file is then replaced. On any failure the file at `path`
  // is left exactly as it was. Temporary files that an earlier download of
  // the same target left beside it (a process ended mid-download) are
  // removed first.
  virtual DownloadResult Download(const std::u16string& url, const std::u16string& path,
                                  const DownloadLimits& limits) = 0;

  // Download within the default limits: true when it was ok.
  bool DownloadUrlToFile(const std::u16string& url, const std::u16string& path) {
    return Download(url, path, DownloadLimits{}).ok;
  }
};

// The platform's downloader: WinINet on Windows, libcurl elsewhere, with the
// platform's own certificate validation.
Downloader& PlatformDownloader();

}  // namespace kestrune
