#pragma once
// The libcurl downloader of the Linux build.

#include <string>

#include "update/downloader.h"

namespace kestrune {

class CurlDownloader : public Downloader {
 public:
  // Validates server certificates against the system's trust store.
  CurlDownloader() = default;
  // Trusts only the CA certificates in `caFile` (PEM). For tests against a
  // test CA; the product never uses it.
  explicit CurlDownloader(std::string caFile) : caFile_(std::move(caFile)) {}

  DownloadResult Download(const std::u16string& url, const std::u16string& path,
                          const DownloadLimits& limits) override;

 private:
  std::string caFile_;
};

}  // namespace kestrune
