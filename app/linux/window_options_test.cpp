#include "app/linux/window_options.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(WindowOptions, HelpVersionQtsOwnAndTheRest) {
  const struct {
    std::vector<std::string> arguments;
    WindowCommand command;
    std::string error;
  } cases[] = {
      {{}, WindowCommand::kOpenWindow, ""},
      {{"--help"}, WindowCommand::kHelp, ""},
      {{"-h"}, WindowCommand::kHelp, ""},
      {{"--version"}, WindowCommand::kVersion, ""},
      {{"-platform", "offscreen", "-V"}, WindowCommand::kVersion, ""},
      // Qt's options go on to Qt, with their values.
      {{"-platform", "xcb", "--display=:1", "-reverse"}, WindowCommand::kOpenWindow, ""},
      {{"--style", "Fusion"}, WindowCommand::kOpenWindow, ""},
      {{"--foo"}, WindowCommand::kBadUsage, "unknown option --foo"},
      {{"-platformx"}, WindowCommand::kBadUsage, "unknown option -platformx"},
      {{"-display"}, WindowCommand::kBadUsage, "-display needs a value"},
      {{"update"}, WindowCommand::kBadUsage, "unexpected argument update"},
  };
  for (const auto& c : cases) {
    const WindowCommandLine line = ParseWindowOptions(c.arguments);
    const std::string first = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(line.command, c.command) << first;
    EXPECT_EQ(line.error, c.error) << first;
  }
  EXPECT_EQ(WindowUsageError("unknown option --foo"),
            "orvel-kestrune: unknown option --foo\nsee 'orvel-kestrune --help'\n");
}

}  // namespace
}  // namespace kestrune
