#pragma once
// The surroundings of a program's runs, filled once by the front-end and
// handed to both the update check and every firmware update: the
// platform's downloader and serial device tree, the watch's answer
// time-out, the download bounds, and what the front-end adds (its close
// decision, a port given by the user, where the manifest text comes from,
// its name in the run log). PlatformUpdateEnvironment() is the one place
// where the program's parts and bounds are put together.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "update/downloader.h"

namespace kestrune {

class CloseGate;
class HistoryWriter;
class SerialDeviceTree;
struct PowerShortage;

// The manifest text that the update check fetched, held once and shared
// with every run that reads it; null when there is none.
using SharedManifestText = std::shared_ptr<const std::string>;

// Where the manifest and the images come from: the update service, or
// (offline) the files earlier downloads saved in the user data folder.
enum class UpdateDataSource { kService, kSavedFiles };

struct UpdateEnvironment {
  // For the update check as well as for the images of a firmware update.
  Downloader& downloader;
  SerialDeviceTree& devices;
  // Reads the manifest text at the moment a firmware update needs it.
  std::function<SharedManifestText()> manifestText;
  // Longest wait for one answer frame from the watch.
  std::chrono::milliseconds answerTimeout;
  // The front-end's close decision; none for a run nobody can close.
  CloseGate* closeGate = nullptr;
  // When not empty, discovery is skipped and this port is opened ("COM7",
  // "\\.\COM7", "/dev/ttyACM0").
  std::u16string portPath = {};
  // Bounds of every download, the manifest's and the images' (an image's
  // size from the manifest bounds its length besides).
  DownloadLimits downloadLimits = {};
  // The program as the run log names it ("kestrune-update").
  std::string programName = {};
  // Where the manifest and the images come from (the downloader above is
  // the offline one for kSavedFiles).
  UpdateDataSource source = UpdateDataSource::kService;
  // The folder of features.json, the images and their record (images.json):
  // empty for the user data folder, or a bundle's folder that a download
  // fills and an offline run writes from.
  std::u16string dataFolder = {};
  // After the last block of every image and before the finish frame, read
  // every written block back and compare it with the image; a block that
  // differs is written once more and read again, and one that still differs
  // (or cannot be read back) ends the run with "更新錯誤". It doubles the
  // time on the line, so it is off unless asked for.
  bool verifyWrittenBlocks = false;
  // Where each watch's run is recorded once it has ended (the user's
  // history file); none: runs are not recorded.
  HistoryWriter* history = nullptr;
  // Leave a watch unwritten (kAlreadyCurrent) when its last run here ended
  // "更新完成" with the firmware on offer: the command line's update; the
  // windows keep writing every watch.
  bool skipWatchWithOfferedFirmware = false;
  // Asked once before the first block when the battery looks too weak for
  // the writing ahead (CheckPowerBeforeWriting): true goes on, false ends
  // the run before anything is written. A window asks its user, the
  // command line refuses unless told to ignore the power. Empty: the power
  // is not looked at.
  std::function<bool(const PowerShortage&)> goOnWithWeakBattery = {};
};

// This platform's: WinINet and SetupAPI on Windows, libcurl and sysfs on
// Linux, and the answer time-out a real watch needs, for the program
// `programName`; with no close gate, port or manifest text yet. With
// kSavedFiles the downloader is the offline one, which never touches the
// network. The parts it refers to live as long as the process.
UpdateEnvironment PlatformUpdateEnvironment(const std::string& programName,
                                            UpdateDataSource source = UpdateDataSource::kService);

}  // namespace kestrune
