#include "app/cli/cli_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <regex>
#include <thread>

#include "update/utc_time.h"
#include "transfer/firmware_update.h"

namespace kestrune {
namespace {

TEST(CliJson, StringsAreEscapedAndUtf8PassesUnchanged) {
  EXPECT_EQ(JsonString("更新完成"), "\"更新完成\"");
  EXPECT_EQ(JsonString("a \"b\" \\ c\nd\te\x01"), "\"a \\\"b\\\" \\\\ c\\nd\\te\\u0001\"");
  // A NUL inside the text is text, not its end.
  EXPECT_EQ(JsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

// Text from the service as a terminal and a JSON reader get it: nothing a
// terminal acts on passes, and no line break but the release note's own.
TEST(CliServiceText, ControlsNeverReachTheTerminalAndJsonEscapesThem) {
  struct Case {
    std::string text;
    bool keepNewlines;
    std::string terminal;
    std::string json;
  };
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const Case cases[] = {
      {"2.418", false, "2.418", "\"2.418\""},
      {"潛水日誌同步", false, "潛水日誌同步", "\"潛水日誌同步\""},
      // A colour escape and a title-setting OSC sequence.
      {"2.4\x1b[31m", false, "2.4" + r + "[31m", "\"2.4\\u001b[31m\""},
      {"\x1b]0;owned\x07", false, r + "]0;owned" + r, "\"\\u001b]0;owned\\u0007\""},
      // C1 CSI (U+009B) and DEL; the raw byte 0x9B is not UTF-8 at all.
      {"a\xC2\x9B"
       "2Jb\x7f",
       false, "a" + r + "2Jb" + r, "\"a\\u009b2Jb\\u007f\""},
      {"a\x9b"
       "2J",
       false, "a" + r + "2J", "\"a\\ufffd2J\""},
      // Carriage return would overwrite the line; line and paragraph
      // separators and a right-to-left override change what is seen.
      {"ok\rFAKE", true, "ok" + r + "FAKE", "\"ok\\rFAKE\""},
      {"a\xE2\x80\xA8"
       "b\xE2\x80\xA9",
       true, "a" + r + "b" + r, "\"a\\u2028b\\u2029\""},
      // Bidirectional overrides, embeddings and isolates reorder what a
      // reader sees ("x<RLO>txt.exe" shows as "xexe.txt"): the first and last
      // of each range; their neighbours U+202F and U+206A are plain text.
      {"x\xE2\x80\xAEtxt.exe", false, "x" + r + "txt.exe", "\"x\\u202etxt.exe\""},
      {"\xE2\x80\xAA"
       "a\xE2\x81\xA6"
       "b\xE2\x81\xA9",
       false, r + "a" + r + "b" + r, "\"\\u202aa\\u2066b\\u2069\""},
      {"a\xE2\x80\xAF"
       "b\xE2\x81\xAA",
       false,
       "a\xE2\x80\xAF"
       "b\xE2\x81\xAA",
       "\"a\xE2\x80\xAF"
       "b\xE2\x81\xAA\""},
      // The release note keeps its line breaks; a version does not.
      {"line 1\nline 2", true, "line 1\nline 2", "\"line 1\\nline 2\""},
      {"2.418\nSource: fake", false, "2.418" + r + "Source: fake", "\"2.418\\nSource: fake\""},
      // Overlong and truncated sequences are not UTF-8.
      {"\xC0\xAF|\xE6\xBD", false, r + r + "|" + r + r, "\"\\ufffd\\ufffd|\\ufffd\\ufffd\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TerminalSafeText(c.text, c.keepNewlines), c.terminal) << c.json;
    EXPECT_EQ(JsonString(c.text), c.json);
  }
}

// What an update's calls print, in `style`, quiet or not.
std::string PrintedRun(OutputStyle style, bool quiet) {
  testing::internal::CaptureStdout();
  {
    ReportDrain drain;
    CliOutput output(style, drain, quiet);
    output.Status(kWritingImage);
    output.Progress(1, 2);
    output.Verifying(2);
    output.Status(u"更新完成");
    output.Result(0, "done", u"更新完成");
    drain.WaitUntilDelivered(std::chrono::seconds(5));
  }
  return testing::internal::GetCapturedStdout();
}

std::string WithoutTimes(const std::string& text) {
  return std::regex_replace(text, std::regex(R"("time":"[^"]*",)"), "");
}

// The test program speaks English: no catalogue is chosen.
TEST(CliQuiet, OnlyTheResultIsLeft) {
  EXPECT_EQ(PrintedRun(OutputStyle::kPlain, true), "Update complete\n");
  EXPECT_EQ(WithoutTimes(PrintedRun(OutputStyle::kJson, true)),
            "{\"event\":\"result\",\"schema\":1,\"exit_code\":0,\"reason\":\"done\","
            "\"status\":\"Update complete\"}\n");
  // Not quiet: every status on its line, and the result adds nothing more.
  EXPECT_EQ(PrintedRun(OutputStyle::kPlain, false),
            "Writing the firmware\nVerifying: reading back 2 written blocks\nUpdate complete\n");
}

// An event's time is when it was reported, even when the output thread
// prints it much later.
TEST(CliJson, AnEventCarriesTheTimeItWasMadeNotPrinted) {
  testing::internal::CaptureStdout();
  std::string reportedAt;
  std::string printedAfter;
  {
    ReportDrain drain;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    drain.Push([released] { released.wait(); });  // the output thread is held up
    CliOutput output(OutputStyle::kJson, drain);
    reportedAt = IsoUtcTime(std::chrono::system_clock::now());
    output.Status(u"更新完成");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    printedAfter = IsoUtcTime(std::chrono::system_clock::now());
    release.set_value();
    drain.WaitUntilDelivered(std::chrono::seconds(5));
  }
  const std::string printed = testing::internal::GetCapturedStdout();
  std::smatch time;
  ASSERT_TRUE(std::regex_search(printed, time,
                                std::regex(R"re(^\{"event":"status","time":"([^"]+)","text")re")))
      << printed;
  EXPECT_GE(time[1].str(), reportedAt);  // ISO 8601 UTC sorts as text
  EXPECT_LT(time[1].str(), printedAfter);
}

}  // namespace
}  // namespace kestrune
