#include "transfer/run_cause.h"

#include <boost/system/error_code.hpp>

#include "i18n/translate.h"
#include "update/text_conversion.h"
#include "update/user_data_folder.h"

namespace kestrune {
namespace {

struct CauseRow {
  RunCauseKind kind;
  const char* word;
};

// The words are a contract for scripts reading the JSON result.
constexpr CauseRow kWords[] = {
    {RunCauseKind::kPermissionDenied, "permission_denied"},
    {RunCauseKind::kPortBusy, "port_busy"},
    {RunCauseKind::kNotASerialPort, "not_a_serial_port"},
    {RunCauseKind::kPortIsDirectory, "port_is_directory"},
    {RunCauseKind::kNoSuchPort, "no_such_port"},
    {RunCauseKind::kPortError, "port_error"},
    {RunCauseKind::kNoDataFolder, "no_data_folder"},
    {RunCauseKind::kDataFolderUnwritable, "data_folder_unwritable"},
    {RunCauseKind::kNoSpace, "no_space"},
    {RunCauseKind::kServiceUnreachableSavedImages, "service_unreachable_saved_images"},
    {RunCauseKind::kImageDownloadFailed, "image_download_failed"},
    {RunCauseKind::kImageWrongSize, "image_wrong_size"},
    {RunCauseKind::kNoUpdateData, "no_update_data"},
    {RunCauseKind::kNoWatch, "no_watch"},
    {RunCauseKind::kWatchWentAway, "watch_went_away"},
    {RunCauseKind::kWatchSilent, "watch_silent"},
    {RunCauseKind::kBlockRefused, "block_refused"},
};

std::string SystemErrorText(int error) {
  return boost::system::error_code(error, boost::system::system_category()).message();
}

}  // namespace

const char* RunCauseWord(RunCauseKind kind) {
  for (const CauseRow& row : kWords) {
    if (row.kind == kind) return row.word;
  }
  return "";
}

std::string DescribeRunCause(const RunCause& cause) {
  std::string text = RunCauseWord(cause.kind);
  if (text.empty()) text = "none";
  if (!cause.port.empty()) text += ", port " + cause.port;
  if (cause.errnoValue != 0) {
    text += ", error " + std::to_string(cause.errnoValue) + " (" +
            SystemErrorText(cause.errnoValue) + ")";
  }
  if (!cause.holder.empty()) text += ", held by " + cause.holder;
  if (!cause.path.empty()) text += ", " + cause.path;
  if (!cause.date.empty()) text += ", saved " + cause.date;
  if (cause.seat == SeatState::kAtSeat) text += ", at the seat";
  if (cause.seat == SeatState::kNotAtSeat) text += ", not at the seat";
  return text;
}

RunCause UserDataFolderCause() {
  const DataFolderState folder = CheckUserDataFolder();
  switch (folder.kind) {
    case DataFolderState::Kind::kUsable: return {};
    case DataFolderState::Kind::kNoFolder: return {RunCauseKind::kNoDataFolder};
    case DataFolderState::Kind::kUnwritable: break;
  }
  RunCause cause{RunCauseKind::kDataFolderUnwritable, {}, folder.error};
  cause.path = WideToUtf8Text(folder.path);
  return cause;
}

RunCauseKind PortOpenCauseKind(const boost::system::error_code& error) {
  namespace errc = boost::system::errc;
#ifdef _WIN32
  // A COM port open in another program refuses every other open with
  // ERROR_ACCESS_DENIED: there it means busy, not a permission.
  if (error == errc::permission_denied) return RunCauseKind::kPortBusy;
#endif
  if (error == errc::permission_denied || error == errc::operation_not_permitted)
    return RunCauseKind::kPermissionDenied;
  if (error == errc::device_or_resource_busy || error == errc::resource_unavailable_try_again ||
      error == errc::operation_would_block)
    return RunCauseKind::kPortBusy;
  if (error == errc::inappropriate_io_control_operation) return RunCauseKind::kNotASerialPort;
  if (error == errc::is_a_directory) return RunCauseKind::kPortIsDirectory;
  if (error == errc::no_such_file_or_directory || error == errc::no_such_device ||
      error == errc::no_such_device_or_address)
    return RunCauseKind::kNoSuchPort;
  return RunCauseKind::kPortError;
}

std::string RunCauseLine(const RunCause& cause) {
  switch (cause.kind) {
    case RunCauseKind::kNone: return {};
    case RunCauseKind::kPermissionDenied:
      // At the seat logind grants the port through the udev rule; away from
      // it (SSH, a service account) only the group gives it.
      if (cause.seat == SeatState::kNotAtSeat) {
        return Tr(
            "permission denied on {1}: you are not at this computer's seat; add yourself "
            "to the dialout group (then log in again)",
            {cause.port});
      }
      return Tr("permission denied on {1}: add yourself to the dialout group (then log in again)",
                {cause.port});
    case RunCauseKind::kPortBusy:
      if (!cause.holder.empty()) {
        return Tr("{1} is in use by {2}; close that program", {cause.port, cause.holder});
      }
      return Tr("{1} is in use by another program; close that program", {cause.port});
    case RunCauseKind::kNotASerialPort:
      return Tr("{1} is not a serial port; give the watch's port", {cause.port});
    case RunCauseKind::kPortIsDirectory:
      return Tr("{1} is a directory, not a serial port; give the watch's port", {cause.port});
    case RunCauseKind::kNoSuchPort:
      return Tr("there is no port {1}: plug the watch in, or give the port it has", {cause.port});
    case RunCauseKind::kPortError:
      return Tr("{1} cannot be opened ({2}); plug the watch in again",
                {cause.port, SystemErrorText(cause.errnoValue)});
    case RunCauseKind::kNoDataFolder:
      return Tr("there is no data folder: HOME is not set; set HOME to your home folder");
    case RunCauseKind::kDataFolderUnwritable:
      return Tr("the data folder {1} cannot be written; make it writable for your user",
                {cause.path});
    case RunCauseKind::kNoSpace: return Tr("no space left on {1}; free some space", {cause.path});
    case RunCauseKind::kServiceUnreachableSavedImages:
      return Tr(
          "the service cannot be reached; the images saved on {1} can be written with "
          "--offline",
          {cause.date});
    case RunCauseKind::kImageDownloadFailed:
      return Tr("an image could not be downloaded: check the network and try again");
    case RunCauseKind::kImageWrongSize:
      return Tr(
          "an image is not the one the update data names (size or digest): download it "
          "again");
    case RunCauseKind::kNoUpdateData:
      return Tr(
          "the update service cannot be reached and no update data is saved: check the "
          "network and try again");
    case RunCauseKind::kNoWatch: return Tr("no watch found: plug it in (is it on the cradle?)");
    case RunCauseKind::kWatchWentAway:
      return Tr("the watch went away: check the cable and plug it in again");
    case RunCauseKind::kWatchSilent:
      return Tr("the watch stopped answering: plug it in again and start the update once more");
    case RunCauseKind::kBlockRefused:
      return Tr(
          "the watch refused the firmware: start the update again; if it refuses again, "
          "contact support");
  }
  return {};
}

}  // namespace kestrune
