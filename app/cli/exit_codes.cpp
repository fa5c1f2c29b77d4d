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

const char* ExitReason(int code) {
  switch (static_cast<ExitCode>(code)) {
    case ExitCode::kDone: return "done";
    case ExitCode::kOtherFailure: return "failure";
    case ExitCode::kBadUsage: return "usage";
    case ExitCode::kNoWatch: return "no_watch";
    case ExitCode::kNoUpdateData: return "no_update_data";
    case ExitCode::kImageDownloadFailed: return "image_download_failed";
    case ExitCode::kImageWrongSize: return "image_wrong_size";
    case ExitCode::kBlockRefused: return "block_refused";
    case ExitCode::kPortUnavailable: return "port_unavailable";
    case ExitCode::kWatchSilent: return "watch_silent";
    case ExitCode::kSomeWatchesFailed: return "watches_failed";
    case ExitCode::kHangUp:
    case ExitCode::kInterrupted:
    case ExitCode::kTerminated: return "interrupted";
  }
  return code > 128 ? "interrupted" : "failure";
}

const char* ExitCodeTable() {
  return "  0    done (update written, manifest fetched, watch found)\n"
         "  1    another failure\n"
         "  2    bad usage\n"
         "  3    no watch found\n"
         "  4    no update data (manifest missing or unusable)\n"
         "  5    an image could not be downloaded\n"
         "  6    an image has the wrong size\n"
         "  7    the watch refused a block (or the line failed)\n"
         "  8    the watch's port cannot be opened\n"
         "  9    the watch stopped answering\n"
         "  11   several watches: at least one was not updated (see the summary)\n"
         "  129  hung up (SIGHUP) before writing began\n"
         "  130  interrupted (Ctrl-C) before writing began\n"
         "  143  terminated (SIGTERM) before writing began\n";
}

}  // namespace kestrune
