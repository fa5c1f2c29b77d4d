#pragma once
// The write phase of an update, for one watch: its port opened and set up,
// every fetched image written block by block, the finish frame sent, the
// port closed. Several watches may be written at once from one
// FetchedFirmware, each on its own thread with its own reporter.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "transfer/firmware_fetch.h"
#include "transfer/firmware_update.h"
#include "transfer/sleep_inhibitor.h"
#include "transfer/run_outcome.h"

namespace kestrune {

class CloseGate;

// The part of a run that spans the writing of a watch: the reporter knows
// writing is under way, and the computer stays awake while it lasts. Begin
// and End belong on the writing thread: on Windows the sleep block is the
// thread's own.
class WritingSpan {
 public:
  WritingSpan(FirmwareUpdateReporter& reporter, CloseGate* gate);
  ~WritingSpan();
  WritingSpan(const WritingSpan&) = delete;
  WritingSpan& operator=(const WritingSpan&) = delete;

  // False when a close was decided first: nothing may be written then.
  bool Begin();
  // Called once the link is closed.
  void End();

 private:
  FirmwareUpdateReporter& reporter_;
  CloseGate* gate_;
  bool begun_ = false;
  std::optional<SleepInhibitor> sleepBlock_;
};

// How many watches of this process are being written right now; the sleep
// block is held while it is above zero.
int WatchesBeingWritten();

// The open link to one watch.
class WatchConnection {
 public:
  // Opens `portPath` and applies the line settings; raises what the link
  // raises, which OutcomeOfRunFailure tells as the port's failure, and
  // likewise when other programs have the port open too (Linux).
  WatchConnection(const std::u16string& portPath, std::chrono::milliseconds answerTimeout);
  // Unless the firmware went out whole, what the watch has not taken is
  // dropped first, so closing never waits for the line to drain it.
  ~WatchConnection();
  WatchConnection(const WatchConnection&) = delete;
  WatchConnection& operator=(const WatchConnection&) = delete;

  // Writes every image of `firmware` in order (posting "正在寫入更新檔" before
  // each, the position after each block), with `verifyWrittenBlocks` reads
  // every written block back (one that differs is written once more and read
  // again), then sends the finish frame, notes what went over the line since
  // `started`, and closes the port: kDone. Once the finish frame is on the
  // line whole, a watch that leaves the line (restarting into its new
  // firmware) is noted and still kDone; a failure before that is not.
  // kBlockRefused for a block refused or still differing when read back,
  // kClosedBeforeWriting when `closeGate` had a close decided before
  // writing began; the status is left to the caller. A link failure of a
  // block or of the finish frame is raised with what it was, for
  // OutcomeOfRunFailure.
  RunOutcome WriteFirmware(const FetchedFirmware& firmware, FirmwareUpdateReporter& reporter,
                           WritingSpan& writing, const CloseGate* closeGate,
                           bool verifyWrittenBlocks, std::chrono::steady_clock::time_point started);

 private:
  struct Link;
  std::unique_ptr<Link> link_;
  std::chrono::milliseconds answerTimeout_{};
  bool done_ = false;
};

// Opens `portPath` as a run would and closes it again: no cause when it
// opens for exclusive use and no other program has it open, otherwise why
// not (permission with the seat, busy with its holder, not a serial port,
// a directory, missing). The port's lines are raised meanwhile.
RunCause ProbeWatchPort(const std::u16string& portPath);

// How a run that ended through an exception ended (kPortUnavailable,
// kWatchSilent, kLinkFailed, kFailure), with its cause noted. Only call
// from inside a catch block.
RunOutcome OutcomeOfRunFailure(FirmwareUpdateReporter& reporter);

// The end every run shares, on a worker thread where nothing may leave as
// an exception: runs `run`, takes an exception for the outcome it tells,
// posts the outcome's status (none for kClosedBeforeWriting), ends the
// writing span and returns the outcome; never throws.
RunOutcome RunToItsEnd(FirmwareUpdateReporter& reporter, WritingSpan& writing,
                       const std::function<RunOutcome()>& run);

// The write phase for one watch on `portPath`, on the calling thread, with
// the read-back pass when `verifyWrittenBlocks`; never throws. Posts the
// outcome's status last (none for kClosedBeforeWriting, when `closeGate`
// decided a close first) and returns the outcome.
RunOutcome WriteFirmwareToWatch(FirmwareUpdateReporter& reporter, const FetchedFirmware& firmware,
                                const std::u16string& portPath,
                                std::chrono::milliseconds answerTimeout, CloseGate* closeGate,
                                bool verifyWrittenBlocks = false);

}  // namespace kestrune
