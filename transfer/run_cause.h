#pragma once
// Why a run failed, as a value the core fills where it decides the failure
// (the port and its system error, the program holding it, the folder, the
// date of saved images), and the one line a front-end shows beneath the
// status: the cause and what to do next, in the user's language. The status
// texts stay as they are; the run log keeps the full detail.

#include <string>
#include <utility>

#include <boost/system/error_code.hpp>

#include "device/user_seat.h"

namespace kestrune {

enum class RunCauseKind {
  kNone,
  kPermissionDenied,  // the port refused us (EACCES, EPERM)
  kPortBusy,          // another program has the port (EBUSY, EAGAIN, a holder)
  kNotASerialPort,    // the path is no terminal device (ENOTTY)
  kPortIsDirectory,   // EISDIR
  kNoSuchPort,        // ENOENT
  kPortError,         // another system error opening or setting up the port
  kNoDataFolder,      // no documents folder to be had (HOME unset)
  kDataFolderUnwritable,
  kNoSpace,                        // ENOSPC while images were saved
  kServiceUnreachableSavedImages,  // offline would work from what is saved
  kImageDownloadFailed,
  kImageWrongSize,
  kNoUpdateData,
  kNoWatch,
  kWatchWentAway,  // the line failed mid-write (link_failed)
  kWatchSilent,
  kBlockRefused,
};

struct RunCause {
  RunCause(RunCauseKind kind = RunCauseKind::kNone, std::string port = {}, int errnoValue = 0)
      : kind(kind), port(std::move(port)), errnoValue(errnoValue) {}

  RunCauseKind kind = RunCauseKind::kNone;
  std::string port;    // the watch's port, when the cause is about it
  int errnoValue = 0;  // the system error number (errno; a Win32 code on Windows)
  std::string holder;  // "pid 4711 (cat)" for a busy port, when known
  std::string path;    // the folder or device a file cause is about
  std::string date;    // "2026-12-11 07:30 UTC": when the saved images were fetched
  SeatState seat = SeatState::kUnknown;

  bool Known() const { return kind != RunCauseKind::kNone; }
};

// The stable English word of the kind, for JSON ("permission_denied", ...);
// empty for kNone.
const char* RunCauseWord(RunCauseKind kind);

// The cause for the run log, in English with every field it has:
// "permission_denied, port /dev/ttyACM0, error 13, not at the seat".
std::string DescribeRunCause(const RunCause& cause);

// The line beneath the status, in the user's language; empty for kNone.
std::string RunCauseLine(const RunCause& cause);

// Why the user data folder cannot take the program's files (no cause when
// it can): no folder (HOME unset), or one that cannot be made or written.
// Makes the folder when missing, as every run does.
RunCause UserDataFolderCause();

// The cause of a port that did not open with `error`: permission, busy,
// not a serial port, a directory, missing, or another error.
RunCauseKind PortOpenCauseKind(const boost::system::error_code& error);

}  // namespace kestrune
