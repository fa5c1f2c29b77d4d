#include "app/frontend/power_question.h"

#include <chrono>

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
