// What the update benchmarks share: the reference update service as a child
// process serving one random image, and the manifest it offers, fetched the
// way the tool's update check fetches it.
#pragma once

#include <filesystem>
#include <string>

#include "testing/child_program.h"
#include "testing/random_image.h"
#include "testing/temp_folder.h"
#include "update/curl_downloader.h"

namespace kestrune {

class LocalUpdateService {
 public:
  // Serves `imageSize` random bytes (seeded by `seed`) for address 0x8000.
  LocalUpdateService(std::size_t imageSize, unsigned seed);

  const testing_support::Bytes& image() const { return image_; }
  const std::string& manifest() const { return manifest_; }
  // The downloader the tool uses, trusting the service's test CA.
  CurlDownloader& downloader() { return downloader_; }
  // A scratch folder removed with this object.
  const std::filesystem::path& work() const { return work_.path(); }

 private:
  testing_support::TempFolder work_{"bench"};
  testing_support::Bytes image_;
  testing_support::ChildProgram service_;
  CurlDownloader downloader_;
  std::string manifest_;
};

}  // namespace kestrune
