#include "bench/local_update_service.h"

#include <stdexcept>

#include "testing/whole_file.h"
#include "tools/update_service/reference_update_service.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

std::vector<std::string> ServiceCommand(const fs::path& work, const Bytes& image) {
  const fs::path images = work / "images";
  fs::create_directories(images);
  WriteWholeFile(images / "1-00008000.bin", image);
  return {KESTRUNE_UPDATE_SERVICE_PROGRAM, "--port", "0", "--images", images.string()};
}

}  // namespace

LocalUpdateService::LocalUpdateService(std::size_t imageSize, unsigned seed)
    : image_(RandomImage(imageSize, seed)),
      service_(ServiceCommand(work_.path(), image_)),
      downloader_(TestCaFile()) {
  // "ready port=N untrusted_port=M"
  const std::string& ready = service_.FirstLine();
  const std::size_t at = ready.find("port=");
  if (at == std::string::npos) throw std::runtime_error("update service: '" + ready + "'");
  const std::string port = std::to_string(std::stoi(ready.substr(at + 5)));
  const fs::path manifestFile = work_.path() / "features.json";
  if (!downloader_.DownloadUrlToFile(
          Utf8ToWideText("https://localhost:" + port + "/api/v1/devices/firmwareUpdate?model=K1"),
          Utf8ToWideText(manifestFile.string()))) {
    throw std::runtime_error("no manifest from the update service");
  }
  manifest_ = ReadWholeFile(manifestFile);
}

}  // namespace kestrune
