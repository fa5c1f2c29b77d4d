#include "app/linux/window_options.h"

#include <cstring>

#include "app/linux/window_shared_state.h"
#include "i18n/translate.h"

namespace kestrune {
namespace {

constexpr const char* kProgram = kLinuxProgramName;

// Qt's own command-line options (QGuiApplication's and QApplication's), each
// taken with one dash or two; those in the first list take a value.
constexpr const char* kQtOptionsWithValue[] = {"platform",
                                               "platformpluginpath",
                                               "platformtheme",
                                               "plugin",
                                               "qmljsdebugger",
                                               "qwindowgeometry",
                                               "qwindowicon",
                                               "qwindowtitle",
                                               "display",
                                               "geometry",
                                               "style",
                                               "stylesheet",
                                               "session",
                                               "name",
                                               "title",
                                               "visual",
                                               "fn",
                                               "font",
                                               "bg",
                                               "background",
                                               "fg",
                                               "foreground",
                                               "btn",
                                               "button",
                                               "ncols",
                                               "cmap",
                                               "im",
                                               "inputstyle",
                                               "graphicssystem"};
constexpr const char* kQtOptionsAlone[] = {"reverse", "widgetcount", "nograb",
                                           "dograb",  "sync",        "testability"};

// The name of a Qt option without its dashes and any "=value"; empty when
// `argument` is none.
std::string OptionName(const std::string& argument) {
  std::size_t start = argument.rfind("--", 0) == 0 ? 2 : 1;
  return argument.substr(start, argument.find('=') == std::string::npos
                                    ? std::string::npos
                                    : argument.find('=') - start);
}

}  // namespace

WindowCommandLine ParseWindowOptions(const std::vector<std::string>& arguments) {
  WindowCommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      line.command = WindowCommand::kHelp;
      return line;
    }
    if (argument == "-V" || argument == "--version") {
      line.command = WindowCommand::kVersion;
      return line;
    }
    if (argument.size() < 2 || argument[0] != '-') {
      line.command = WindowCommand::kBadUsage;
      line.error = "unexpected argument " + argument;
      return line;
    }
    const std::string name = OptionName(argument);
    bool known = false;
    for (const char* qt : kQtOptionsWithValue) {
      if (name != qt) continue;
      known = true;
      // "-platform offscreen"; "--platform=offscreen" carries its value.
      if (argument.find('=') == std::string::npos && ++i >= arguments.size()) {
        line.command = WindowCommand::kBadUsage;
        line.error = argument + " needs a value";
        return line;
      }
    }
    for (const char* qt : kQtOptionsAlone) known = known || name == qt;
    if (!known) {
      line.command = WindowCommand::kBadUsage;
      line.error = "unknown option " + argument;
      return line;
    }
  }
  return line;
}

std::string WindowUsage() {
  return std::string("usage: ") + kProgram +
         " [-h | --help] [-V | --version] [Qt's options]\n"
         "\n"
         "Opens the orvel kestrune tools window: the firmware the update service\n"
         "offers for the Kestrune dive watch and its release notes, and Update\n"
         "Firmware, which writes it into the watch connected by USB.\n"
         "\n"
         "Options:\n"
         "  -h, --help     this text\n"
         "  -V, --version  the program and its version\n"
         "  Qt's own options are taken too (-platform NAME, -display DISPLAY, ...).\n"
         "\n"
         "The manifest, the images, the run log (update.log) and the service history\n"
         "(history.sqlite) are kept in \"orvel kestrune\" in the documents folder that\n"
         "xdg-user-dir DOCUMENTS names. For scripts and service desks there is\n"
         "kestrune-update (see 'kestrune-update --help').\n";
}

std::string WindowVersionLine() { return std::string(kProgram) + " " + KESTRUNE_PROGRAM_VERSION; }

std::string WindowUsageError(const std::string& error) {
  return std::string(kProgram) + ": " + error + "\n" +
         Tr("see '{1} --help'", {std::string(kProgram)}) + "\n";
}

}  // namespace kestrune
