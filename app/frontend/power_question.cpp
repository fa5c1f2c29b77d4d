#include "app/frontend/power_question.h"

#include <chrono>

#include "i18n/translate.h"
#include "transfer/close_gate.h"

namespace kestrune {
namespace {

// How often a waiting worker looks whether the window has closed.
constexpr std::chrono::milliseconds kCloseLookInterval{100};

std::u16string Number(long long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Whole minutes, at least one: the writing's rounded up, the battery's
// time rounded down, so the question never makes the battery look better.
long long MinutesUp(std::chrono::milliseconds duration) {
  const long long minutes = (duration.count() + 59999) / 60000;
  return minutes < 1 ? 1 : minutes;
}

}  // namespace

std::u16string PowerQuestionText(const PowerShortage& shortage) {
  std::u16string battery = u"電池";
  if (shortage.status.percent) {
    battery += u"電量 " + Number(static_cast<long long>(*shortage.status.percent)) + u"%";
  }
  if (shortage.status.timeLeft) {
    if (shortage.status.percent) battery += u"，";
    battery += u"約可再用 " + Number(shortage.status.timeLeft->count() / 60) + u" 分鐘";
  }
  return u"電池電量可能不足以完成更新。\n" + battery + u"；寫入更新檔約需 " +
         Number(MinutesUp(shortage.writing)) +
         u" 分鐘。\n寫入中斷可能使潛水錶無法使用，請先連接充電器。\n\n仍要繼續更新嗎？";
}

std::string PowerQuestionShown(const PowerShortage& shortage) {
  const std::optional<double>& percent = shortage.status.percent;
  const std::optional<std::chrono::seconds>& left = shortage.status.timeLeft;
  const std::string percentText = percent ? std::to_string(static_cast<long long>(*percent)) : "";
  const std::string leftText = left ? std::to_string(left->count() / 60) : "";
  const std::string writing = std::to_string(MinutesUp(shortage.writing));
  std::string facts;
  if (percent && left) {
    facts =
        Tr("Battery at {1} %, about {2} minutes left; writing the firmware takes about {3} "
           "minutes.",
           {percentText, leftText, writing});
  } else if (percent) {
    facts = Tr("Battery at {1} %; writing the firmware takes about {2} minutes.",
               {percentText, writing});
  } else if (left) {
    facts = Tr("Battery good for about {1} minutes; writing the firmware takes about {2} minutes.",
               {leftText, writing});
  } else {
    facts = Tr("Battery; writing the firmware takes about {1} minutes.", {writing});
  }
  return Tr("The battery may not last for the whole update.") + "\n" + facts + "\n" +
         Tr("If the writing is cut off, the watch may no longer work: connect the charger "
            "first.") +
         "\n\n" + Tr("Go on with the update?");
}

bool PowerQuestion::Ask(const std::function<void()>& show, const CloseGate& gate) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_.reset();
  }
  show();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!answer_) {
    if (gate.CloseRequested()) return false;
    answered_.wait_for(lock, kCloseLookInterval);
  }
  return *answer_ && !gate.CloseRequested();
}

void PowerQuestion::Answer(bool goOn) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = goOn;
  }
  answered_.notify_all();
}

}  // namespace kestrune
