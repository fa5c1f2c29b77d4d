#pragma once
// The question a window asks its user before writing when the battery
// looks too weak for it: go on, or leave the watch unwritten. The worker
// waits for the answer (it has not begun writing, so waiting is allowed);
// the window asks on its UI thread and answers once.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "transfer/power_check.h"

namespace kestrune {

class CloseGate;

// The question's text, in the status line's language: what the battery
// holds, what the writing needs, the advice to connect the charger, and
// whether to go on anyway.
std::u16string PowerQuestionText(const PowerShortage& shortage);

// The same question in the user's language, UTF-8, for the Linux window; in
// Traditional Chinese exactly PowerQuestionText.
std::string PowerQuestionShown(const PowerShortage& shortage);

// The title of the question's box: the window's caption.
inline constexpr char16_t kPowerQuestionTitle[] = u"orvel kestrune tools";

class PowerQuestion {
 public:
  // On the worker: `show` hands the question to the window, which must not
  // wait for the answer; then waits for Answer. A close decided on `gate`
  // meanwhile ends the wait with false, whether or not the window answers.
  bool Ask(const std::function<void()>& show, const CloseGate& gate);
  // On the UI thread: the user's answer to the question that was shown.
  void Answer(bool goOn);

 private:
  std::mutex mutex_;
  std::condition_variable answered_;
  std::optional<bool> answer_;
};

}  // namespace kestrune
