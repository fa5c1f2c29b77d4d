// The Linux window's layout table against the Windows dialog template it
// copies, read from the resource script itself, and the conversion of dialog
// units to pixels.
#include "app/linux/main_window_layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace kestrune {
namespace {

std::string ReadResourceScript() {
  std::ifstream in(KESTRUNE_RESOURCE_SCRIPT);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MainWindowLayout, IsTheDialogTemplateOfTheResourceScript) {
  const std::string script = ReadResourceScript();
  ASSERT_FALSE(script.empty());

  std::smatch dialog;
  ASSERT_TRUE(std::regex_search(
      script, dialog, std::regex(R"(IDD_MAIN_DIALOG DIALOGEX (\d+), (\d+), (\d+), (\d+))")));
  EXPECT_EQ(std::stoi(dialog[3]), kMainWindowSize.width);
  EXPECT_EQ(std::stoi(dialog[4]), kMainWindowSize.height);
  EXPECT_NE(script.find(std::string("CAPTION \"") + kMainWindowCaption + "\""), std::string::npos);
  EXPECT_NE(script.find("FONT " + std::to_string(kDialogFontPoints) + ", \"" + kDialogFontFamily +
                        "\", 700"),
            std::string::npos);

  const std::map<std::string, int> ids = {{"IDC_RELEASE_NOTES", IDC_RELEASE_NOTES},
                                          {"IDC_STATUS", IDC_STATUS},
                                          {"IDC_UPDATE_FIRMWARE", IDC_UPDATE_FIRMWARE},
                                          {"IDC_VERSION", IDC_VERSION},
                                          {"IDC_PROGRESS", IDC_PROGRESS},
                                          {"-1", -1}};
  const std::regex control(
      R"re(CONTROL "([^"]*)", ([A-Z_]+|-1), "[^"]+", [^,]+, (\d+), (\d+), (\d+), (\d+))re");
  std::vector<ControlPlacement> fromScript;
  std::vector<std::string> texts;
  for (std::sregex_iterator it(script.begin(), script.end(), control), end; it != end; ++it) {
    const std::smatch& m = *it;
    ASSERT_EQ(ids.count(m[2]), 1u) << m[2];
    texts.push_back(m[1]);
    fromScript.push_back(
        {ids.at(m[2]), {}, {std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]), std::stoi(m[6])}});
  }
  ASSERT_EQ(fromScript.size(), std::size(kMainWindowControls));
  for (std::size_t i = 0; i < fromScript.size(); ++i) {
    const ControlPlacement& ours = kMainWindowControls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " \"" + texts[i] + "\"");
    EXPECT_EQ(ours.id, fromScript[i].id);
    EXPECT_EQ(ours.text, texts[i]);
    EXPECT_EQ(ours.rect.x, fromScript[i].rect.x);
    EXPECT_EQ(ours.rect.y, fromScript[i].rect.y);
    EXPECT_EQ(ours.rect.width, fromScript[i].rect.width);
    EXPECT_EQ(ours.rect.height, fromScript[i].rect.height);
  }
}

TEST(MainWindowLayout, FindsControlsByIdentifierOrFixedText) {
  ASSERT_NE(FindControl(IDC_UPDATE_FIRMWARE), nullptr);
  EXPECT_EQ(FindControl(IDC_UPDATE_FIRMWARE)->text, "Update Firmware");
  ASSERT_NE(FindControl(-1, "New Features:"), nullptr);
  EXPECT_EQ(FindControl(-1, "New Features:")->rect.y, 21);
  EXPECT_EQ(FindControl(-1, "No Such Label"), nullptr);
  EXPECT_EQ(FindControl(4242), nullptr);
}

TEST(MainWindowLayout, BaseUnitsRoundTheAverageLetterWidth) {
  struct Case {
    int alphabetWidth, lineHeight;
    DialogBaseUnits expected;
  };
  const Case cases[] = {
      {416, 18, {8, 18}},  // exactly 8 per letter
      {441, 18, {8, 18}},  // 8.48: down
      {442, 19, {9, 19}},  // 8.5: up
      {520, 16, {10, 16}},
  };
  for (const Case& c : cases) {
    const DialogBaseUnits base = BaseUnitsFromFont(c.alphabetWidth, c.lineHeight);
    EXPECT_EQ(base.x, c.expected.x) << c.alphabetWidth;
    EXPECT_EQ(base.y, c.expected.y) << c.alphabetWidth;
  }
}

TEST(MainWindowLayout, DialogUnitsScaleByQuartersAndEighthsRounded) {
  struct Case {
    DialogUnitRect units;
    DialogBaseUnits base;
    PixelRect expected;
  };
  const Case cases[] = {
      {{220, 181, 220, 181}, {8, 16}, {440, 362, 440, 362}},
      {{7, 31, 205, 91}, {7, 18}, {12, 70, 359, 205}},  // 12.25, 69.75, 358.75, 204.75
      {{2, 4, 6, 12}, {7, 20}, {4, 10, 11, 30}},        // 3.5 and 10.5 round up
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToPixels(c.units, c.base), c.expected) << c.units.x << "," << c.units.y;
  }
}

}  // namespace
}  // namespace kestrune
