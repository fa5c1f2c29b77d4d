#include "app/cli/cli_options.h"

#include <gtest/gtest.h>

#include "app/cli/exit_codes.h"
#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

struct Accepted {
  std::vector<std::string> arguments;
  CliCommand command;
  std::string port;
  bool json;
  bool verbose = false;
  bool verify = false;
  bool offline = false;
};

TEST(CliOptions, CommandsWithTheirOptionsAnywhereAfterTheProgram) {
  const Accepted cases[] = {
      {{"check"}, CliCommand::kCheck, "", false},
      {{"--json", "check"}, CliCommand::kCheck, "", true},
      {{"update"}, CliCommand::kUpdate, "", false},
      {{"update", "--port", "/dev/ttyACM0"}, CliCommand::kUpdate, "/dev/ttyACM0", false},
      {{"update", "--port=COM7", "--json"}, CliCommand::kUpdate, "COM7", true},
      {{"--port", "\\\\.\\COM7", "update"}, CliCommand::kUpdate, "\\\\.\\COM7", false},
      {{"devices", "--json"}, CliCommand::kDevices, "", true},
      {{"-v", "check"}, CliCommand::kCheck, "", false, true},
      {{"update", "--verbose", "--json"}, CliCommand::kUpdate, "", true, true},
      {{"update", "--verify"}, CliCommand::kUpdate, "", false, false, true},
      {{"--offline", "update", "--verify", "--port", "COM7"},
       CliCommand::kUpdate,
       "COM7",
       false,
       false,
       true,
       true},
      {{"check", "--offline"}, CliCommand::kCheck, "", false, false, false, true},
      // --help and --version win over whatever else is given.
      {{"--help"}, CliCommand::kHelp, "", false},
      {{"update", "-h", "flash"}, CliCommand::kHelp, "", false},
      {{"--json", "-V"}, CliCommand::kVersion, "", true},
      {{"--version", "--port"}, CliCommand::kVersion, "", false},
  };
  for (const Accepted& c : cases) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(c.arguments, options, error)) << c.arguments[0] << ": " << error;
    EXPECT_EQ(options.command, c.command);
    EXPECT_EQ(options.port, c.port);
    EXPECT_EQ(options.json, c.json);
    EXPECT_EQ(options.verbose, c.verbose);
    EXPECT_EQ(options.verify, c.verify) << c.arguments[0];
    EXPECT_EQ(options.offline, c.offline) << c.arguments[0];
  }
}

TEST(CliOptions, BadUsageSaysWhatIsWrong) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"flash"}, "unknown command flash"},
      {{"check", "--quiet"}, "unknown option --quiet"},
      {{"update", "--port"}, "--port needs a port (a device path, or COMn on Windows)"},
      {{"update", "--port="}, "--port needs a port (a device path, or COMn on Windows)"},
      {{"check", "--port", "COM7"}, "--port belongs to the update command"},
      {{"check", "update"}, "unexpected argument update"},
      {{"check", "--verify"}, "--verify belongs to the update command"},
      {{"devices", "--offline"}, "--offline belongs to the check and update commands"},
  };
  for (const auto& [arguments, expected] : cases) {
    CliOptions options;
    std::string error;
    EXPECT_FALSE(ParseCliOptions(arguments, options, error)) << expected;
    EXPECT_EQ(error, expected);
  }
  // A JSON run's usage error is answered in JSON, wherever --json stands.
  CliOptions options;
  std::string error;
  EXPECT_FALSE(ParseCliOptions({"flash", "--json"}, options, error));
  EXPECT_TRUE(options.json);
}

TEST(CliOptions, VersionIsTheBuildsOne) {
  EXPECT_EQ(CliVersionLine(), std::string("kestrune-update ") + KESTRUNE_TEST_PROGRAM_VERSION);
}

TEST(CliExitCodes, EachOutcomeHasItsOwnCode) {
  // The numbers are the documented contract that scripts rely on.
  const std::pair<const char16_t*, int> cases[] = {
      {kUpdateDone, 0},   {kUpdateDataFetched, 0},   {kConnectWatch, 3},
      {kNoUpdateData, 4}, {kImageDownloadFailed, 5}, {kImageWrongSize, 6},
      {kUpdateFailed, 7}, {kPortUnavailable, 8},     {kWatchSilent, 9},
      {u"", 1},
  };
  for (const auto& [status, code] : cases) {
    EXPECT_EQ(static_cast<int>(ExitCodeForStatus(status)), code) << code;
  }
  // --help lists every code.
  for (const int code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 129, 130, 143}) {
    EXPECT_NE(CliUsage().find("\n  " + std::to_string(code) + " "), std::string::npos) << code;
  }
}

TEST(CliExitCodes, EachCodeHasItsReasonWord) {
  const std::pair<int, const char*> cases[] = {
      {0, "done"},
      {1, "failure"},
      {2, "usage"},
      {3, "no_watch"},
      {4, "no_update_data"},
      {5, "image_download_failed"},
      {6, "image_wrong_size"},
      {7, "block_refused"},
      {8, "port_unavailable"},
      {9, "watch_silent"},
      {129, "interrupted"},
      {130, "interrupted"},
      {143, "interrupted"},
      {42, "failure"},
  };
  for (const auto& [code, reason] : cases) EXPECT_STREQ(ExitReason(code), reason) << code;
}

}  // namespace
}  // namespace kestrune
