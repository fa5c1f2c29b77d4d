#pragma once
// The command line of kestrune-update.

#include <string>
#include <vector>

namespace kestrune {

// The program's name, as it calls itself in messages, in the usage text and
// in the run log.
inline constexpr char kCliProgramName[] = "kestrune-update";

enum class CliCommand { kHelp, kVersion, kCheck, kUpdate, kDevices, kStation, kHistory, kDownload };

struct CliOptions {
  CliCommand command = CliCommand::kHelp;
  std::string port;  // update --port PATH; empty: discovery finds the watch
  // Every --port in order; more than one writes them all at once.
  std::vector<std::string> ports;
  bool all = false;  // update --all: every connected watch at once
  // update/station --again: a watch is written even when it already has the
  // firmware (by the history, or earlier in the station's session)
  bool again = false;
  bool json = false;     // one JSON object per line instead of text
  bool verbose = false;  // -v: the run log's lines on standard error too
  // -q: no progress and no status but the last; the command's result,
  // messages and errors only
  bool quiet = false;
  bool verify = false;   // update --verify: read every written block back
  bool offline = false;  // check/update/station --offline: the saved manifest and images
  // download DIR, or --offline DIR: the bundle folder (features.json, the
  // images, images.json); empty with --offline: the user data folder.
  std::string bundle;
  // update/station --ignore-power: write even when the battery looks too weak
  bool ignorePower = false;
  // --serial S, each in the order given: update writes the watches with
  // these USB serial numbers, station writes only these; history lists
  // one watch's runs (one serial number only).
  std::vector<std::string> serials;
  std::string since;     // history --since: runs that ended then or later, as given
  std::string sinceUtc;  // ... as the UTC text the rows are compared with
  bool csv = false;      // history --csv: comma-separated values with a header line
  // --data-dir DIR: the data folder (manifest, images, run log, history)
  // instead of the one in the Documents folder; empty: that one.
  std::string dataDir;
};

// Reads the arguments after the program name. On bad usage returns false
// with `error` saying what is wrong (and `options.json` set if --json was
// among the arguments). --help and --version are commands of their own.
// Short options may be bundled (-vV).
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error);

// The usage text, exit codes included.
std::string CliUsage();

// What a usage error prints on standard error: "kestrune-update: ERROR"
// and the line that points at --help, not the whole usage.
std::string CliUsageError(const std::string& error);

// "kestrune-update 1.0.0.1": the program and the version the build gives.
std::string CliVersionLine();

}  // namespace kestrune
