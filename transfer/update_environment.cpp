#include "transfer/update_environment.h"

#include "history/history_writer.h"

#include "device/serial_device_tree.h"
#include "transfer/device_protocol.h"
#include "update/offline_downloader.h"

namespace kestrune {
namespace {

// Made once: the tree holds no state between queries, and a worker that
// outlives the window may still be using it when the program ends.
SerialDeviceTree& SystemDevices() {
  static const std::unique_ptr<SerialDeviceTree> tree = SystemSerialDeviceTree();
  return *tree;
}

}  // namespace

UpdateEnvironment PlatformUpdateEnvironment(const std::string& programName,
                                            UpdateDataSource source) {
  Downloader& downloader =
      source == UpdateDataSource::kSavedFiles ? SavedFilesDownloader() : PlatformDownloader();
  UpdateEnvironment environment{downloader, SystemDevices(), nullptr,
                                DeviceProtocol::kDefaultAnswerTimeout};
  environment.programName = programName;
  environment.source = source;
  environment.history = &UserHistoryWriter();
  return environment;
}

}  // namespace kestrune
