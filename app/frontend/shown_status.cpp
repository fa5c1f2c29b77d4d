#include "app/frontend/shown_status.h"

#include "i18n/translate.h"
#include "transfer/firmware_update.h"
#include "transfer/logged_runs.h"
#include "update/text_conversion.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

struct StatusRow {
  const char16_t* status;
  const char* english;
};

constexpr StatusRow kStatuses[] = {
    {kFetchingUpdateData, N_("Fetching the update data")},
    {kNoUpdateData, N_("The update data cannot be fetched")},
    {kUpdateDataFetched, N_("Update data fetched")},
    {kConnectWatch, N_("Connect the Kestrune dive watch")},
    {kFetchingImages, N_("Fetching the firmware images")},
    {kImageDownloadFailed, N_("The firmware images cannot be fetched")},
    {kImageWrongSize, N_("A firmware image is wrong")},
    {kWritingImage, N_("Writing the firmware")},
    {kUpdateFailed, N_("Update failed")},
    {kUpdateDone, N_("Update complete")},
    {kAlreadyCurrent, N_("The watch already has this firmware")},
    {kPortUnavailable, N_("The watch's port cannot be opened")},
    {kWatchSilent, N_("The watch does not answer")},
    {kCloseDeferred, N_("The window closes when the update has ended")},
    {kCannotStartWorker, N_("A worker thread cannot be started")},
};

}  // namespace

const char* StatusEnglish(const std::u16string& status) {
  for (const StatusRow& row : kStatuses) {
    if (status == row.status) return row.english;
  }
  return nullptr;
}

std::string ShownStatus(const std::u16string& status) {
  if (const char* english = StatusEnglish(status)) return Tr(english);
  // StatusWithCloseDeferred: "<deferred close>（<the run's status>）".
  const std::u16string deferred = std::u16string(kCloseDeferred) + u"（";
  if (status.size() > deferred.size() && status.compare(0, deferred.size(), deferred) == 0 &&
      status.back() == u'）') {
    const std::u16string inner =
        status.substr(deferred.size(), status.size() - deferred.size() - 1);
    // TRANSLATORS: {1} is the window's closing notice, {2} the run's status.
    return Tr("{1} ({2})", {Tr(StatusEnglish(kCloseDeferred)), ShownStatus(inner)});
  }
  return WideToUtf8Text(status);
}

}  // namespace kestrune
