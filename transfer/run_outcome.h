#pragma once
// How a firmware update ended, as a value: what the window shows, what the
// command line exits with and the English word its JSON result carries all
// come from one table, so they cannot drift apart.

#include <string>

namespace kestrune {

enum class RunOutcome {
  kDone,                 // every image written, finish frame sent
  kNoWatch,              // discovery found no watch
  kPortUnavailable,      // the watch's port cannot be opened or set up
  kWatchSilent,          // the watch stopped answering or taking bytes
  kBlockRefused,         // the watch refused a block
  kLinkFailed,           // the line failed mid-write: hang-up, I/O error, device gone
  kImageDownloadFailed,  // an image could not be downloaded
  kImageWrongSize,       // an image's length is not the manifest's size
  kNoUpdateData,         // no usable manifest
  kClosedBeforeWriting,  // a close was decided before the first block
  kPowerLow,             // the battery looked too weak and nobody went on
  kFailure,              // anything else that stopped the run
  kAlreadyCurrent,       // the history says the watch has the offered firmware: not written
};

// The status line's last text for the outcome; empty for
// kClosedBeforeWriting and kPowerLow, which end a run without a word before
// anything is written.
std::u16string RunOutcomeStatus(RunOutcome outcome);

// The command line's exit code: 0 done, 1 another failure, 3 to 10 and 12
// one per failure the user can act on, 13 a watch left as it was because it
// already has the offered firmware. kClosedBeforeWriting gives 130, what Ctrl-C
// before writing ends with; the command line itself says 128 + the signal
// that actually came.
int RunOutcomeExitCode(RunOutcome outcome);

// The stable English word of the JSON result ("done", "no_watch", ...).
const char* RunOutcomeReason(RunOutcome outcome);

}  // namespace kestrune
