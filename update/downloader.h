#pragma once
// Blocking HTTP(S) GET of a URL into a local file.

#include <cstdint>
#include <string>

namespace kestrune {

// How one download went, for the run log.
struct DownloadResult {
  bool ok = false;          // DownloadUrlToFile's result
  long httpStatus = 0;      // 0 when no answer arrived
  long errorCode = 0;       // libcurl, WinINet or system error; 0 for none
  std::string errorText;    // the error's own message, or what failed
  std::uint64_t bytes = 0;  // body bytes received

  // "HTTP 200, 5000 bytes" or "curl error 7 (Couldn't connect to server)".
  std::string Describe() const;
};

class Downloader {
 public:
  virtual ~Downloader() = default;

  // The same download as DownloadUrlToFile, telling how it went. Downloaders
  // that know no more than success or failure keep this default.
  virtual DownloadResult Download(const std::u16string& url, const std::u16string& path) {
    DownloadResult result;
    result.ok = DownloadUrlToFile(url, path);
    if (!result.ok) result.errorText = "download failed";
    return result;
  }

  // Fetches `url` and stores its body in the file at `path`. Returns true
  // only when the whole body arrived with a 2xx status; the file is then
  // replaced. On any failure the file at `path` is left exactly as it was.
  virtual bool DownloadUrlToFile(const std::u16string& url, const std::u16string& path) = 0;
};

// The platform's downloader: WinINet on Windows, libcurl elsewhere, with the
// platform's own certificate validation.
Downloader& PlatformDownloader();

}  // namespace kestrune
