#include "app/cli/cli_options.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app/cli/exit_codes.h"
#include "transfer/firmware_update.h"
#include "transfer/run_outcome.h"
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
  bool ignorePower = false;
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
      {{"update", "--ignore-power"}, CliCommand::kUpdate, "", false, false, false, false, true},
      {{"--ignore-power", "station"}, CliCommand::kStation, "", false, false, false, false, true},
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
    EXPECT_EQ(options.ignorePower, c.ignorePower) << c.arguments[0];
  }
}

TEST(CliOptions, BadUsageSaysWhatIsWrong) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"flash"}, "unknown command flash"},
      {{"check", "--loud"}, "unknown option --loud"},
      {{"check", "-x"}, "unknown option -x"},
      {{"check", "-vx"}, "unknown option -x in -vx"},
      {{"update", "-q", "-v"}, "-q and -v do not go together"},
      {{"update", "-qv"}, "-q and -v do not go together"},
      {{"update", "--quiet", "--verbose"}, "-q and -v do not go together"},
      {{"update", "--port"}, "--port needs a port (a device path, or COMn on Windows)"},
      {{"update", "--port="}, "--port needs a port (a device path, or COMn on Windows)"},
      {{"check", "--port", "COM7"}, "--port belongs to the update command"},
      {{"check", "update"}, "unexpected argument update"},
      {{"update", "--port", "COM7", "--port=COM7"}, "--port COM7 is given twice"},
      {{"update", "--all", "--port", "COM7"}, "--all and --port do not go together"},
      {{"check", "--all"}, "--all belongs to the update command"},
      {{"check", "--again"}, "--again belongs to the update and station commands"},
      {{"update", "--since", "2026-12-01"}, "--since and --csv belong to the history command"},
      {{"station", "--csv"}, "--since and --csv belong to the history command"},
      {{"history", "--serial"}, "--serial needs a serial number"},
      {{"update", "--serial="}, "--serial needs a serial number"},
      {{"check", "--serial", "KW-1"},
       "--serial belongs to the update, station and history commands"},
      {{"devices", "--serial", "KW-1"},
       "--serial belongs to the update, station and history commands"},
      {{"update", "--serial", "KW-1", "--serial=KW-1"}, "--serial KW-1 is given twice"},
      {{"update", "--serial", "KW-1", "--port", "COM7"}, "--port and --serial do not go together"},
      {{"update", "--all", "--serial", "KW-1"}, "--all and --serial do not go together"},
      {{"history", "--serial", "KW-1", "--serial", "KW-2"}, "history takes one --serial"},
      {{"update", "--data-dir"}, "--data-dir needs a folder"},
      {{"update", "--data-dir="}, "--data-dir needs a folder"},
      {{"history", "--since", "yesterday"},
       "--since needs a date in UTC: YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS"},
      {{"history", "--csv", "--json"}, "--csv and --json do not go together"},
      {{"history", "--offline"}, "--offline belongs to the check, update and station commands"},
      {{"station", "--port", "COM7"}, "--port belongs to the update command"},
      {{"check", "--verify"}, "--verify belongs to the update and station commands"},
      {{"devices", "--offline"}, "--offline belongs to the check, update and station commands"},
      {{"download"}, "download needs a folder to save the bundle in"},
      {{"download", "a", "b"}, "unexpected argument b"},
      {{"download", "a", "--offline"},
       "--offline belongs to the check, update and station commands"},
      {{"update", "bundle"}, "unexpected argument bundle"},
      {{"update", "--offline", "a", "b"}, "unexpected argument b"},
      {{"update", "--offline="}, "--offline= needs a folder"},
      {{"check", "--ignore-power"}, "--ignore-power belongs to the update and station commands"},
      {{"devices", "--ignore-power"}, "--ignore-power belongs to the update and station commands"},
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

// The bundle folder: download's one argument, or the folder right after
// --offline (none: the user data folder's saved files).
TEST(CliOptions, TheBundleFolder) {
  const struct {
    std::vector<std::string> arguments;
    CliCommand command;
    bool offline;
    std::string bundle;
  } cases[] = {
      {{"download", "/media/usb/k1"}, CliCommand::kDownload, false, "/media/usb/k1"},
      {{"--json", "download", "D:\\bundle"}, CliCommand::kDownload, false, "D:\\bundle"},
      {{"update", "--offline", "k1"}, CliCommand::kUpdate, true, "k1"},
      {{"update", "--offline", "k1", "--port", "COM7"}, CliCommand::kUpdate, true, "k1"},
      {{"update", "--offline", "--port", "COM7"}, CliCommand::kUpdate, true, ""},
      {{"update", "--offline=k1"}, CliCommand::kUpdate, true, "k1"},
      {{"--offline=k1", "station"}, CliCommand::kStation, true, "k1"},
      {{"check", "--offline", "k1"}, CliCommand::kCheck, true, "k1"},
      // Before the command, the word after --offline is the command.
      {{"--offline", "update"}, CliCommand::kUpdate, true, ""},
  };
  for (const auto& c : cases) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(c.arguments, options, error)) << c.arguments[0] << ": " << error;
    EXPECT_EQ(options.command, c.command) << c.arguments[0];
    EXPECT_EQ(options.offline, c.offline) << c.arguments[0];
    EXPECT_EQ(options.bundle, c.bundle) << c.arguments[0];
  }
}

TEST(CliOptions, SeveralWatchesByPortsOrAll) {
  struct {
    std::vector<std::string> arguments;
    CliCommand command;
    std::vector<std::string> ports;
    bool all;
    bool again;
  } cases[] = {
      {{"update", "--port", "COM7", "--port=COM8"},
       CliCommand::kUpdate,
       {"COM7", "COM8"},
       false,
       false},
      {{"update", "--port", "/dev/ttyACM0"}, CliCommand::kUpdate, {"/dev/ttyACM0"}, false, false},
      {{"update", "--all", "--json"}, CliCommand::kUpdate, {}, true, false},
      {{"station"}, CliCommand::kStation, {}, false, false},
      {{"--again", "station"}, CliCommand::kStation, {}, false, true},
      {{"update", "--again"}, CliCommand::kUpdate, {}, false, true},
  };
  for (const auto& c : cases) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(c.arguments, options, error)) << c.arguments[0] << ": " << error;
    EXPECT_EQ(options.command, c.command);
    EXPECT_EQ(options.ports, c.ports);
    // The single run's port is the first one given.
    EXPECT_EQ(options.port, c.ports.empty() ? "" : c.ports.front());
    EXPECT_EQ(options.all, c.all);
    EXPECT_EQ(options.again, c.again);
  }
}

// Short options bundle; -h and -V answer wherever they stand in a bundle.
TEST(CliOptions, ShortOptionsQuietAndVerbose) {
  const struct {
    std::vector<std::string> arguments;
    CliCommand command;
    bool verbose;
    bool quiet;
  } cases[] = {
      {{"-vV"}, CliCommand::kVersion, true, false},
      {{"-Vq"}, CliCommand::kVersion, false, false},  // answered before -q is read
      {{"update", "-hv"}, CliCommand::kHelp, false, false},
      {{"-q", "update"}, CliCommand::kUpdate, false, true},
      {{"update", "--quiet"}, CliCommand::kUpdate, false, true},
      {{"update", "-qq"}, CliCommand::kUpdate, false, true},
      {{"-vv", "station"}, CliCommand::kStation, true, false},
      {{"-v", "update", "-v"}, CliCommand::kUpdate, true, false},
  };
  for (const auto& c : cases) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(c.arguments, options, error)) << c.arguments[0] << ": " << error;
    EXPECT_EQ(options.command, c.command) << c.arguments[0];
    EXPECT_EQ(options.verbose, c.verbose) << c.arguments[0];
    EXPECT_EQ(options.quiet, c.quiet) << c.arguments[0];
  }
}

TEST(CliOptions, SerialsAndTheDataFolder) {
  const struct {
    std::vector<std::string> arguments;
    CliCommand command;
    std::vector<std::string> serials;
    std::string dataDir;
  } cases[] = {
      {{"update", "--serial", "KW-0002"}, CliCommand::kUpdate, {"KW-0002"}, ""},
      {{"update", "--serial=KW-0002", "--serial", "KW-0001"},
       CliCommand::kUpdate,
       {"KW-0002", "KW-0001"},
       ""},
      {{"--serial", "KW-3", "station", "--again"}, CliCommand::kStation, {"KW-3"}, ""},
      {{"history", "--serial", "KW-1", "--csv"}, CliCommand::kHistory, {"KW-1"}, ""},
      {{"update", "--data-dir", "/srv/desk"}, CliCommand::kUpdate, {}, "/srv/desk"},
      {{"--data-dir=desk data", "history"}, CliCommand::kHistory, {}, "desk data"},
      {{"check", "--offline", "k1", "--data-dir", "d"}, CliCommand::kCheck, {}, "d"},
  };
  for (const auto& c : cases) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(c.arguments, options, error)) << c.arguments[0] << ": " << error;
    EXPECT_EQ(options.command, c.command) << c.arguments[0];
    EXPECT_EQ(options.serials, c.serials) << c.arguments[0];
    EXPECT_EQ(options.dataDir, c.dataDir) << c.arguments[0];
  }
}

// A usage error is its one line and a pointer to --help, not the usage.
TEST(CliOptions, UsageErrorIsOneLineAndWhereToLook) {
  EXPECT_EQ(CliUsageError("unknown option --foo"),
            "kestrune-update: unknown option --foo\nsee 'kestrune-update --help'\n");
}

TEST(CliOptions, VersionIsTheBuildsOne) {
  EXPECT_EQ(CliVersionLine(), std::string("kestrune-update ") + KESTRUNE_TEST_PROGRAM_VERSION);
}

TEST(CliExitCodes, EachOutcomeHasItsOwnCode) {
  // The numbers are the documented contract that scripts rely on, each with
  // the status the run ends on.
  const std::tuple<RunOutcome, const char16_t*, int> cases[] = {
      {RunOutcome::kDone, kUpdateDone, 0},
      {RunOutcome::kFailure, kUpdateFailed, 1},
      {RunOutcome::kNoWatch, kConnectWatch, 3},
      {RunOutcome::kNoUpdateData, kNoUpdateData, 4},
      {RunOutcome::kImageDownloadFailed, kImageDownloadFailed, 5},
      {RunOutcome::kImageWrongSize, kImageWrongSize, 6},
      {RunOutcome::kBlockRefused, kUpdateFailed, 7},
      {RunOutcome::kPortUnavailable, kPortUnavailable, 8},
      {RunOutcome::kWatchSilent, kWatchSilent, 9},
      {RunOutcome::kLinkFailed, kUpdateFailed, 10},
      // Refused before writing: the command line gives its advice apart.
      {RunOutcome::kPowerLow, u"", 12},
      {RunOutcome::kAlreadyCurrent, kAlreadyCurrent, 13},
  };
  for (const auto& [outcome, status, code] : cases) {
    EXPECT_EQ(RunOutcomeExitCode(outcome), code) << code;
    EXPECT_EQ(RunOutcomeStatus(outcome), status) << code;
  }
  // --help lists every code.
  for (const int code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 129, 130, 143}) {
    EXPECT_NE(CliUsage().find("\n  " + std::to_string(code) + " "), std::string::npos) << code;
  }
}

TEST(CliExitCodes, EachCodeHasItsReasonWord) {
  const std::pair<RunOutcome, const char*> outcomes[] = {
      {RunOutcome::kDone, "done"},
      {RunOutcome::kFailure, "failure"},
      {RunOutcome::kNoWatch, "no_watch"},
      {RunOutcome::kNoUpdateData, "no_update_data"},
      {RunOutcome::kImageDownloadFailed, "image_download_failed"},
      {RunOutcome::kImageWrongSize, "image_wrong_size"},
      {RunOutcome::kBlockRefused, "block_refused"},
      {RunOutcome::kPortUnavailable, "port_unavailable"},
      {RunOutcome::kWatchSilent, "watch_silent"},
      {RunOutcome::kLinkFailed, "link_failed"},
      {RunOutcome::kPowerLow, "power"},
      {RunOutcome::kAlreadyCurrent, "already_current"},
  };
  for (const auto& [outcome, reason] : outcomes) {
    EXPECT_STREQ(RunOutcomeReason(outcome), reason) << reason;
  }
  // The command line's own codes.
  const std::pair<int, const char*> codes[] = {
      {2, "usage"},         {11, "watches_failed"}, {129, "interrupted"},
      {130, "interrupted"}, {143, "interrupted"},   {42, "failure"},
  };
  for (const auto& [code, reason] : codes) EXPECT_STREQ(ExitReason(code), reason) << code;
}

}  // namespace
}  // namespace kestrune
