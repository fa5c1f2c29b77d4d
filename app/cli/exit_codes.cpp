#include "app/cli/exit_codes.h"

#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {

ExitCode ExitCodeForStatus(const std::u16string& lastStatus) {
  struct Entry {
    const char16_t* status;
    ExitCode code;
  };
  static const Entry kEntries[] = {
      {kUpdateDone, ExitCode::kDone},
      {kUpdateDataFetched, ExitCode::kDone},
      {kConnectWatch, ExitCode::kNoWatch},
      {kNoUpdateData, ExitCode::kNoUpdateData},
      {kImageDownloadFailed, ExitCode::kImageDownloadFailed},
      {kImageWrongSize, ExitCode::kImageWrongSize},
      {kUpdateFailed, ExitCode::kBlockRefused},
      {kPortUnavailable, ExitCode::kPortUnavailable},
      {kWatchSilent, ExitCode::kWatchSilent},
  };
  for (const Entry& entry : kEntries) {
    if (lastStatus == entry.status) return entry.code;
  }
  return ExitCode::kOtherFailure;
}

const char* ExitCodeTable() {
  return "  0    done (update written, manifest fetched, watch found)\n"
         "  1    another failure\n"
         "  2    bad usage (also --help)\n"
         "  3    no watch found\n"
         "  4    no update data (manifest missing or unusable)\n"
         "  5    an image could not be downloaded\n"
         "  6    an image has the wrong size\n"
         "  7    the watch refused a block (or the line failed)\n"
         "  8    the watch's port cannot be opened\n"
         "  9    the watch stopped answering\n"
         "  130  interrupted before writing began\n";
}

}  // namespace kestrune
