#include "transfer/update_environment.h"

#include <utility>

#include "transfer/device_protocol.h"
#include "update/downloader.h"
#include "update/offline_downloader.h"

namespace kestrune {

FirmwareUpdateEnvironment UpdateEnvironment::ForFirmwareUpdate(
    std::function<SharedManifestText()> manifestText, CloseGate* closeGate) const {
  return FirmwareUpdateEnvironment{downloader,    *devices,  std::move(manifestText),
                                   answerTimeout, closeGate, std::u16string(),
                                   downloadLimits};
}

UpdateEnvironment PlatformUpdateEnvironment(UpdateDataSource source) {
  Downloader& downloader =
      source == UpdateDataSource::kSavedFiles ? SavedFilesDownloader() : PlatformDownloader();
  return UpdateEnvironment{downloader, SystemSerialDeviceTree(),
                           DeviceProtocol::kDefaultAnswerTimeout};
}

}  // namespace kestrune
