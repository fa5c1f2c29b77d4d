#pragma once
// The command line of kestrune-update.

#include <string>
#include <vector>

namespace kestrune {

enum class CliCommand { kHelp, kCheck, kUpdate, kDevices };

struct CliOptions {
  CliCommand command = CliCommand::kHelp;
  std::string port;   // update --port PATH; empty: discovery finds the watch
  bool json = false;  // one JSON object per line instead of text
};

// Reads the arguments after the program name. On bad usage returns false
// with `error` saying what is wrong; --help returns false with `error` empty.
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error);

// The usage text, exit codes included.
std::string CliUsage();

}  // namespace kestrune
