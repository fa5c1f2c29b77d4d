#pragma once
// The command line of kestrune-update.

#include <string>
#include <vector>

namespace kestrune {

// The program's name, as it calls itself in messages, in the usage text and
// in the run log.
inline constexpr char kCliProgramName[] = "kestrune-update";

enum class CliCommand { kHelp, kVersion, kCheck, kUpdate, kDevices };

struct CliOptions {
  CliCommand command = CliCommand::kHelp;
  std::string port;      // update --port PATH; empty: discovery finds the watch
  bool json = false;     // one JSON object per line instead of text
  bool verbose = false;  // the run log's lines on standard error too
};

// Reads the arguments after the program name. On bad usage returns false
// with `error` saying what is wrong (and `options.json` set if --json was
// among the arguments). --help and --version are commands of their own.
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error);

// The usage text, exit codes included.
std::string CliUsage();

// "kestrune-update 1.0.0.1": the program and the version the build gives.
std::string CliVersionLine();

}  // namespace kestrune
