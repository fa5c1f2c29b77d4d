// What the command line and the Linux window show of each way a run ends,
// in each language, through the catalogues the build made.
#include "app/frontend/shown_status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <string>

#include "app/frontend/power_question.h"
#include "i18n/translate.h"
#include "transfer/firmware_update.h"
#include "transfer/logged_runs.h"
#include "transfer/run_outcome.h"
#include "update/text_conversion.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

// The user's environment as a desk sets it: LANG, and LANGUAGE when given.
void SpeakAs(const char* lang, const char* language = nullptr) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) unsetenv(name);
  setenv("LANG", lang, 1);
  if (language != nullptr) setenv("LANGUAGE", language, 1);
  // A locale that is not generated here would quietly give English.
  ASSERT_TRUE(StartTranslationIn(KESTRUNE_TEST_LOCALE_DIR))
      << "the locale " << lang << " is missing: scripts/setup generates it";
}

struct Shown {
  const char* lang;
  RunOutcome outcome;
  const char* text;
};

TEST(ShownStatus, EachOutcomeInEachLanguage) {
  const Shown cases[] = {
      {"C.UTF-8", RunOutcome::kDone, "Update complete"},
      {"C.UTF-8", RunOutcome::kNoWatch, "Connect the Kestrune dive watch"},
      {"C.UTF-8", RunOutcome::kPortUnavailable, "The watch's port cannot be opened"},
      {"C.UTF-8", RunOutcome::kBlockRefused, "Update failed"},
      {"C.UTF-8", RunOutcome::kNoUpdateData, "The update data cannot be fetched"},
      {"C.UTF-8", RunOutcome::kAlreadyCurrent, "The watch already has this firmware"},
      {"C.UTF-8", RunOutcome::kClosedBeforeWriting, ""},
      {"de_DE.UTF-8", RunOutcome::kDone, "Update abgeschlossen"},
      {"de_DE.UTF-8", RunOutcome::kNoWatch, "Bitte die Kestrune-Tauchuhr anschließen"},
      {"de_DE.UTF-8", RunOutcome::kWatchSilent, "Die Uhr antwortet nicht"},
      {"de_DE.UTF-8", RunOutcome::kImageDownloadFailed,
       "Die Firmware-Dateien können nicht abgerufen werden"},
      {"zh_CN.UTF-8", RunOutcome::kDone, "更新完成"},
      {"zh_CN.UTF-8", RunOutcome::kNoWatch, "请连接 Kestrune 潜水表"},
      {"zh_CN.UTF-8", RunOutcome::kPortUnavailable, "无法打开潜水表端口"},
      {"zh_TW.UTF-8", RunOutcome::kNoWatch, "請連接 Kestrune 潛水錶"},
      {"zh_TW.UTF-8", RunOutcome::kLinkFailed, "更新錯誤"},
  };
  for (const Shown& shown : cases) {
    SpeakAs(shown.lang);
    EXPECT_EQ(ShownStatus(RunOutcomeStatus(shown.outcome)), shown.text)
        << shown.lang << ", reason " << RunOutcomeReason(shown.outcome);
  }
}

// Every status the core posts comes out of the Traditional Chinese
// catalogue byte for byte as the Windows dialog shows it, and has an English
// text of its own.
TEST(ShownStatus, TraditionalChineseIsTheDialogsTextExactly) {
  const char16_t* statuses[] = {kFetchingUpdateData, kNoUpdateData,   kUpdateDataFetched,
                                kConnectWatch,       kFetchingImages, kImageDownloadFailed,
                                kImageWrongSize,     kWritingImage,   kUpdateFailed,
                                kUpdateDone,         kAlreadyCurrent, kPortUnavailable,
                                kWatchSilent,        kCloseDeferred,  kCannotStartWorker};
  SpeakAs("zh_TW.UTF-8");
  for (const char16_t* status : statuses) {
    ASSERT_NE(StatusEnglish(status), nullptr) << WideToUtf8Text(status);
    EXPECT_EQ(ShownStatus(status), WideToUtf8Text(status));
  }
  EXPECT_EQ(ShownStatus(StatusWithCloseDeferred(kUpdateDone)),
            WideToUtf8Text(StatusWithCloseDeferred(kUpdateDone)));
  SpeakAs("C.UTF-8");
  for (const char16_t* status : statuses) EXPECT_EQ(ShownStatus(status), StatusEnglish(status));
}

TEST(ShownStatus, TheDeferredCloseAndTheRunsStatusBothTranslated) {
  SpeakAs("de_DE.UTF-8");
  EXPECT_EQ(ShownStatus(StatusWithCloseDeferred(kWatchSilent)),
            "Das Fenster schließt sich nach dem Update (Die Uhr antwortet nicht)");
  SpeakAs("C.UTF-8");
  EXPECT_EQ(ShownStatus(StatusWithCloseDeferred(kCloseDeferred)),
            "The window closes when the update has ended");
}

TEST(ShownStatus, OtherTextsAsTheyAre) {
  SpeakAs("de_DE.UTF-8");
  EXPECT_EQ(ShownStatus(u"2.418"), "2.418");
  EXPECT_EQ(ShownStatus(u""), "");
  EXPECT_EQ(StatusEnglish(u"更新完成 "), nullptr);
}

// LANGUAGE comes before LANG, as in every gettext program; C gets English
// whatever LANGUAGE says.
TEST(ShownStatus, LanguageBeforeLang) {
  SpeakAs("zh_TW.UTF-8", "de");
  EXPECT_EQ(ShownStatus(kUpdateDone), "Update abgeschlossen");
  SpeakAs("zh_TW.UTF-8", "fr:zh_CN");
  EXPECT_EQ(ShownStatus(kUpdateDone), "更新完成");
  EXPECT_EQ(ShownStatus(kConnectWatch), "请连接 Kestrune 潜水表");
  SpeakAs("C", "de");
  EXPECT_EQ(ShownStatus(kUpdateDone), "Update complete");
}

// The process stays in the C locale: what the system says of an error (the
// run log's causes) stays English, whatever the user's language.
TEST(ShownStatus, TheSystemsErrorTextsStayEnglish) {
  SpeakAs("de_DE.UTF-8");
  EXPECT_EQ(ShownStatus(kUpdateDone), "Update abgeschlossen");
  EXPECT_STREQ(std::strerror(ENOENT), "No such file or directory");
  EXPECT_EQ(std::error_code(ECANCELED, std::generic_category()).message(), "Operation canceled");
}

// Numbers in the user's language: one form in Chinese, two in German.
TEST(ShownStatus, PluralForms) {
  SpeakAs("de_DE.UTF-8");
  EXPECT_EQ(TrN("{1} try", "{1} tries", 1, {"1"}), "1 Versuch");
  EXPECT_EQ(TrN("{1} try", "{1} tries", 3, {"3"}), "3 Versuche");
  SpeakAs("zh_TW.UTF-8");
  EXPECT_EQ(TrN("{1} try", "{1} tries", 3, {"3"}), "3 次");
  SpeakAs("C.UTF-8");
  EXPECT_EQ(TrN("{1} try", "{1} tries", 1, {"1"}), "1 try");
  EXPECT_EQ(TrN("{1} try", "{1} tries", 0, {"0"}), "0 tries");
}

// The weak battery's question: in Traditional Chinese the dialog's own
// text, in German the same facts.
TEST(ShownStatus, ThePowerQuestion) {
  using namespace std::chrono_literals;
  const auto shortage = [](std::optional<double> percent, std::optional<std::chrono::seconds> left,
                           std::chrono::milliseconds writing) {
    return PowerShortage{PowerStatus{true, true, percent, left}, 10, writing,
                         PowerVerdict::kBatteryLow};
  };
  const PowerShortage cases[] = {
      shortage(18.0, 12min + 59s, 4min + 1s), shortage(9.6, std::nullopt, 20s),
      shortage(std::nullopt, 3min, 2min), shortage(std::nullopt, std::nullopt, 2min)};
  SpeakAs("zh_TW.UTF-8");
  for (const PowerShortage& c : cases) {
    EXPECT_EQ(PowerQuestionShown(c), WideToUtf8Text(PowerQuestionText(c)));
  }
  SpeakAs("de_DE.UTF-8");
  EXPECT_EQ(PowerQuestionShown(cases[0]),
            "Der Akku reicht womöglich nicht für das ganze Update.\n"
            "Akku bei 18 %, noch etwa 12 Minuten; das Schreiben der Firmware dauert etwa 5 "
            "Minuten.\n"
            "Bricht das Schreiben ab, funktioniert die Uhr womöglich nicht mehr: bitte zuerst das "
            "Ladegerät anschließen.\n\n"
            "Das Update trotzdem fortsetzen?");
}

}  // namespace
}  // namespace kestrune
