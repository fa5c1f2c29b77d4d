// A window's question about a weak battery: its text, and the worker's wait
// for the answer, which a close ends too.
#include "app/frontend/power_question.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "transfer/close_gate.h"

namespace kestrune {
namespace {
using namespace std::chrono_literals;

PowerShortage Shortage(std::optional<double> percent, std::optional<std::chrono::seconds> left,
                       std::chrono::milliseconds writing) {
  return {PowerStatus{true, true, percent, left}, 10, writing, PowerVerdict::kBatteryLow};
}

TEST(PowerQuestionText, SaysWhatTheBatteryHoldsAndWhatTheWritingNeeds) {
  const struct {
    PowerShortage shortage;
    std::u16string facts;
  } cases[] = {
      // Time left rounded down, the writing rounded up.
      {Shortage(18.0, 12min + 59s, 4min + 1s),
       u"電池電量 18%，約可再用 12 分鐘；寫入更新檔約需 5 分鐘。"},
      {Shortage(9.6, std::nullopt, 20s), u"電池電量 9%；寫入更新檔約需 1 分鐘。"},
      {Shortage(std::nullopt, 3min, 2min), u"電池約可再用 3 分鐘；寫入更新檔約需 2 分鐘。"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PowerQuestionText(c.shortage),
              u"電池電量可能不足以完成更新。\n" + c.facts +
                  u"\n寫入中斷可能使潛水錶無法使用，請先連接充電器。\n\n仍要繼續更新嗎？");
  }
}

// Asks on a worker thread; `show` answers from "the UI thread" as the test says.
TEST(PowerQuestion, TheWorkerWaitsForTheAnswerGivenAfterTheQuestionIsShown) {
  for (const bool goOn : {true, false}) {
    PowerQuestion question;
    CloseGate gate;
    std::promise<void> shown;
    auto asked = std::async(std::launch::async,
                            [&] { return question.Ask([&] { shown.set_value(); }, gate); });
    shown.get_future().wait();
    EXPECT_EQ(asked.wait_for(300ms), std::future_status::timeout) << "answered before the user";
    question.Answer(goOn);
    ASSERT_EQ(asked.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(asked.get(), goOn);
  }
}

TEST(PowerQuestion, AnEarlierAnswerDoesNotAnswerTheNextQuestion) {
  PowerQuestion question;
  CloseGate gate;
  question.Answer(true);
  std::promise<void> shown;
  auto asked = std::async(std::launch::async,
                          [&] { return question.Ask([&] { shown.set_value(); }, gate); });
  shown.get_future().wait();
  EXPECT_EQ(asked.wait_for(300ms), std::future_status::timeout);
  question.Answer(false);
  EXPECT_FALSE(asked.get());
}

TEST(PowerQuestion, ACloseWhileTheQuestionIsOpenEndsTheWaitWithNo) {
  PowerQuestion question;
  CloseGate gate;
  std::promise<void> shown;
  auto asked = std::async(std::launch::async,
                          [&] { return question.Ask([&] { shown.set_value(); }, gate); });
  shown.get_future().wait();
  EXPECT_TRUE(gate.RequestClose());  // nothing is being written: the window closes now
  ASSERT_EQ(asked.wait_for(5s), std::future_status::ready) << "the worker kept waiting";
  EXPECT_FALSE(asked.get());
  // A yes that comes as the window closes does not make the run write.
  PowerQuestion late;
  EXPECT_FALSE(late.Ask([&] { late.Answer(true); }, gate));
}

}  // namespace
}  // namespace kestrune
