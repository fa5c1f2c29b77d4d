// The line each cause shows beneath the status (English: no catalogue is
// loaded here), its JSON word, and how a port's system error is told.
#include "transfer/run_cause.h"

#include <gtest/gtest.h>

#include <boost/system/error_code.hpp>

#include <set>
#include <string>

namespace kestrune {
namespace {

RunCause Cause(RunCauseKind kind) {
  RunCause cause;
  cause.kind = kind;
  cause.port = "/dev/ttyACM0";
  return cause;
}

struct LineRow {
  RunCause cause;
  const char* word;
  std::string line;
};

TEST(RunCause, EachKindHasItsWordAndLine) {
  RunCause notAtSeat = Cause(RunCauseKind::kPermissionDenied);
  notAtSeat.seat = SeatState::kNotAtSeat;
  RunCause atSeat = Cause(RunCauseKind::kPermissionDenied);
  atSeat.seat = SeatState::kAtSeat;
  RunCause busy = Cause(RunCauseKind::kPortBusy);
  busy.holder = "pid 4711 (cat)";
  RunCause folder = Cause(RunCauseKind::kDataFolderUnwritable);
  folder.path = "/home/ann/Documents/orvel kestrune";
  RunCause full = Cause(RunCauseKind::kNoSpace);
  full.path = "/media/usb";
  RunCause saved = Cause(RunCauseKind::kServiceUnreachableSavedImages);
  saved.date = "2026-12-11 07:30 UTC";
  RunCause otherError = Cause(RunCauseKind::kPortError);
  otherError.errnoValue = EIO;
  const LineRow rows[] = {
      {notAtSeat, "permission_denied",
       "permission denied on /dev/ttyACM0: you are not at this computer's seat; add yourself to "
       "the dialout group (then log in again)"},
      {atSeat, "permission_denied",
       "permission denied on /dev/ttyACM0: add yourself to the dialout group (then log in "
       "again)"},
      {Cause(RunCauseKind::kPermissionDenied), "permission_denied",
       "permission denied on /dev/ttyACM0: add yourself to the dialout group (then log in "
       "again)"},
      {busy, "port_busy", "/dev/ttyACM0 is in use by pid 4711 (cat); close that program"},
      {Cause(RunCauseKind::kPortBusy), "port_busy",
       "/dev/ttyACM0 is in use by another program; close that program"},
      {Cause(RunCauseKind::kNotASerialPort), "not_a_serial_port",
       "/dev/ttyACM0 is not a serial port; give the watch's port"},
      {Cause(RunCauseKind::kPortIsDirectory), "port_is_directory",
       "/dev/ttyACM0 is a directory, not a serial port; give the watch's port"},
      {Cause(RunCauseKind::kNoSuchPort), "no_such_port",
       "there is no port /dev/ttyACM0: plug the watch in, or give the port it has"},
#ifndef _WIN32  // the system's own message for the error
      {otherError, "port_error",
       "/dev/ttyACM0 cannot be opened (Input/output error); plug the watch in again"},
#endif
      {Cause(RunCauseKind::kNoDataFolder), "no_data_folder",
       "there is no data folder: HOME is not set; set HOME to your home folder"},
      {folder, "data_folder_unwritable",
       "the data folder /home/ann/Documents/orvel kestrune cannot be written; make it writable "
       "for your user"},
      {full, "no_space", "no space left on /media/usb; free some space"},
      {saved, "service_unreachable_saved_images",
       "the service cannot be reached; the images saved on 2026-12-11 07:30 UTC can be written "
       "with --offline"},
      {Cause(RunCauseKind::kNoWatch), "no_watch",
       "no watch found: plug it in (is it on the cradle?)"},
      {Cause(RunCauseKind::kWatchWentAway), "watch_went_away",
       "the watch went away: check the cable and plug it in again"},
      {Cause(RunCauseKind::kWatchSilent), "watch_silent",
       "the watch stopped answering: plug it in again and start the update once more"},
      {Cause(RunCauseKind::kBlockRefused), "block_refused",
       "the watch refused the firmware: start the update again; if it refuses again, contact "
       "support"},
      {Cause(RunCauseKind::kImageWrongSize), "image_wrong_size",
       "an image is not the one the update data names (size or digest): download it again"},
      {Cause(RunCauseKind::kImageDownloadFailed), "image_download_failed",
       "an image could not be downloaded: check the network and try again"},
      {Cause(RunCauseKind::kNoUpdateData), "no_update_data",
       "the update service cannot be reached and no update data is saved: check the network "
       "and try again"},
  };
  for (const LineRow& row : rows) {
    SCOPED_TRACE(row.word);
    EXPECT_EQ(row.word, std::string(RunCauseWord(row.cause.kind)));
    EXPECT_EQ(row.line, RunCauseLine(row.cause));
  }
}

TEST(RunCause, NoCauseHasNoLineAndNoWord) {
  EXPECT_EQ("", RunCauseLine(RunCause{}));
  EXPECT_EQ("", std::string(RunCauseWord(RunCauseKind::kNone)));
  EXPECT_FALSE(RunCause{}.Known());
}

TEST(RunCause, WordsAreDistinct) {
  std::set<std::string> words;
  for (int kind = static_cast<int>(RunCauseKind::kPermissionDenied);
       kind <= static_cast<int>(RunCauseKind::kBlockRefused); ++kind) {
    const std::string word = RunCauseWord(static_cast<RunCauseKind>(kind));
    EXPECT_FALSE(word.empty()) << kind;
    EXPECT_TRUE(words.insert(word).second) << word;
  }
}

TEST(RunCause, PortErrorsAreToldApart) {
  namespace errc = boost::system::errc;
  const struct {
    errc::errc_t error;
    RunCauseKind kind;
  } rows[] = {
#ifdef _WIN32  // what a COM port open elsewhere answers
      {errc::permission_denied, RunCauseKind::kPortBusy},
#else
      {errc::permission_denied, RunCauseKind::kPermissionDenied},
#endif
      {errc::operation_not_permitted, RunCauseKind::kPermissionDenied},
      {errc::device_or_resource_busy, RunCauseKind::kPortBusy},
      {errc::resource_unavailable_try_again, RunCauseKind::kPortBusy},
      {errc::inappropriate_io_control_operation, RunCauseKind::kNotASerialPort},
      {errc::is_a_directory, RunCauseKind::kPortIsDirectory},
      {errc::no_such_file_or_directory, RunCauseKind::kNoSuchPort},
      {errc::io_error, RunCauseKind::kPortError},
  };
  for (const auto& row : rows) {
    const boost::system::error_code code = errc::make_error_code(row.error);
    EXPECT_EQ(row.kind, PortOpenCauseKind(code)) << code.message();
  }
}

#ifndef _WIN32  // errno's number and message
TEST(RunCause, TheLogLineCarriesEveryField) {
  RunCause cause = Cause(RunCauseKind::kPermissionDenied);
  cause.errnoValue = EACCES;
  cause.seat = SeatState::kNotAtSeat;
  EXPECT_EQ("permission_denied, port /dev/ttyACM0, error 13 (Permission denied), not at the seat",
            DescribeRunCause(cause));
}
#endif

}  // namespace
}  // namespace kestrune
