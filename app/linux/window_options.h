#pragma once
// The Linux window's command line: --help and --version are answered on
// standard output before any window or display is needed; Qt's own
// options (-platform NAME, -display DISPLAY, ...) are left to Qt; anything
// else is a usage error.

#include <string>
#include <vector>

namespace kestrune {

enum class WindowCommand { kOpenWindow, kHelp, kVersion, kBadUsage };

struct WindowCommandLine {
  WindowCommand command = WindowCommand::kOpenWindow;
  std::string error;  // kBadUsage: what is wrong
};

// Reads the arguments after the program name.
WindowCommandLine ParseWindowOptions(const std::vector<std::string>& arguments);

// The text --help prints.
std::string WindowUsage();

// "orvel-kestrune 1.0.0.1".
std::string WindowVersionLine();

// A usage error's two lines: "orvel-kestrune: ERROR" and where to look.
std::string WindowUsageError(const std::string& error);

}  // namespace kestrune
