#pragma once
// One thing a worker tells its window, as a value: each window hands it to
// its UI thread in its own way.

#include <cstdint>
#include <string>

namespace kestrune {

struct WindowNotice {
  enum class Kind {
    kStatus,            // text: a new status line text
    kFirmwareVersion,   // text: the offered firmware version
    kReleaseNotes,      // text: the release notes
    kProgressRange,     // value: the progress bar runs from 0 to value
    kProgressPosition,  // value: blocks written so far
    kWriting,           // value: 1 once writing the watch begins, 0 when it is over
    kRunFinished,       // value: the firmware-update worker has ended, with this RunOutcome
    kPowerQuestion,     // text: ask the user whether to write on a weak battery;
                        // the answer goes to WorkerSharedState::AnswerPowerQuestion
    kCause,             // text: the cause of the failure just shown and what to do
                        // (RunCauseLine), in the user's language
  };
  Kind kind;
  std::u16string text = {};
  std::uint32_t value = 0;
  // kPowerQuestion: the question in the user's language, for a window that
  // speaks it (the Linux window); `text` is the dialog's own.
  std::string shown = {};
};

}  // namespace kestrune
