#pragma once
// The surroundings the real program checks for and writes firmware in: the
// platform's downloader, the operating system's serial device tree and the
// watch's answer time-out. Every front-end takes them from here, so this is
// the one place where the program's parts and bounds are put together.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "device/serial_device_tree.h"
#include "transfer/firmware_update.h"

namespace kestrune {

struct UpdateEnvironment {
  // For the update check as well as for the images of a firmware update.
  Downloader& downloader;
  std::unique_ptr<SerialDeviceTree> devices;
  // Longest wait for one answer frame from the watch.
  std::chrono::milliseconds answerTimeout;
  // Bounds of every download, the manifest's and the images'.
  DownloadLimits downloadLimits = {};

  // One firmware update in these surroundings, reading the manifest text
  // through `manifestText` when the run needs it, and deciding close against
  // writing with the front-end's `closeGate` (none: nobody can close it). It
  // refers to this object, which must outlive the run.
  FirmwareUpdateEnvironment ForFirmwareUpdate(std::function<SharedManifestText()> manifestText,
                                              CloseGate* closeGate = nullptr) const;
};

// Where the manifest and the images come from: the update service, or
// (offline) the files earlier downloads saved in the user data folder.
enum class UpdateDataSource { kService, kSavedFiles };

// This platform's: WinINet and SetupAPI on Windows, libcurl and sysfs on
// Linux, and the answer time-out a real watch needs. With kSavedFiles the
// downloader is the offline one, which never touches the network.
UpdateEnvironment PlatformUpdateEnvironment(UpdateDataSource source = UpdateDataSource::kService);

}  // namespace kestrune
