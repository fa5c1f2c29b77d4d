#include "app/cli/cli_options.h"

#include "app/cli/exit_codes.h"
#include "history/history_listing.h"

namespace kestrune {

bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error) {
  options = CliOptions{};
  error.clear();
  bool haveCommand = false;
  bool portGiven = false;
  bool afterOffline = false;  // the argument before was --offline
  // A usage error in a JSON run still ends with a JSON result line.
  for (const std::string& argument : arguments) options.json = options.json || argument == "--json";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool folderMayFollow = afterOffline;
    afterOffline = false;
    if (argument == "-h" || argument == "--help") {
      options.command = CliCommand::kHelp;
      return true;
    }
    if (argument == "-V" || argument == "--version") {
      options.command = CliCommand::kVersion;
      return true;
    }
    if (argument == "--json") {
      options.json = true;
    } else if (argument == "-v" || argument == "--verbose") {
      options.verbose = true;
    } else if (argument == "--verify") {
      options.verify = true;
    } else if (argument == "--offline") {
      options.offline = true;
      afterOffline = true;
    } else if (argument.rfind("--offline=", 0) == 0) {
      options.offline = true;
      options.bundle = argument.substr(10);
      if (options.bundle.empty()) {
        error = "--offline= needs a folder";
        return false;
      }
    } else if (argument == "--ignore-power") {
      options.ignorePower = true;
    } else if (argument == "--port" || argument.rfind("--port=", 0) == 0) {
      if (argument == "--port") {
        if (i + 1 >= arguments.size()) {
          error = "--port needs a port (a device path, or COMn on Windows)";
          return false;
        }
        options.port = arguments[++i];
      } else {
        options.port = argument.substr(7);
      }
      if (options.port.empty()) {
        error = "--port needs a port (a device path, or COMn on Windows)";
        return false;
      }
      for (const std::string& given : options.ports) {
        if (given == options.port) {
          error = "--port " + given + " is given twice";
          return false;
        }
      }
      options.ports.push_back(options.port);
      options.port = options.ports.front();
      portGiven = true;
    } else if (argument == "--serial" || argument == "--since") {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
        error = argument + (argument == "--serial" ? " needs a serial number" : " needs a date");
        return false;
      }
      (argument == "--serial" ? options.serial : options.since) = arguments[++i];
      if (argument == "--since" && !ParseSinceDate(options.since, options.sinceUtc)) {
        error = "--since needs a date in UTC: YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS";
        return false;
      }
    } else if (argument == "--csv") {
      options.csv = true;
    } else if (argument == "--all") {
      options.all = true;
    } else if (argument == "--again") {
      options.again = true;
    } else if (!argument.empty() && argument[0] == '-') {
      error = "unknown option " + argument;
      return false;
    } else if (haveCommand && options.bundle.empty() &&
               (folderMayFollow || options.command == CliCommand::kDownload)) {
      // The bundle folder: download's argument, or the one --offline reads.
      if (argument.empty()) {
        error = "the bundle folder is empty";
        return false;
      }
      options.bundle = argument;
    } else if (haveCommand) {
      error = "unexpected argument " + argument;
      return false;
    } else if (argument == "check") {
      options.command = CliCommand::kCheck;
      haveCommand = true;
    } else if (argument == "update") {
      options.command = CliCommand::kUpdate;
      haveCommand = true;
    } else if (argument == "devices") {
      options.command = CliCommand::kDevices;
      haveCommand = true;
    } else if (argument == "station") {
      options.command = CliCommand::kStation;
      haveCommand = true;
    } else if (argument == "history") {
      options.command = CliCommand::kHistory;
      haveCommand = true;
    } else if (argument == "download") {
      options.command = CliCommand::kDownload;
      haveCommand = true;
    } else {
      error = "unknown command " + argument;
      return false;
    }
  }
  if (!haveCommand) {
    error = "no command given";
    return false;
  }
  if (portGiven && options.command != CliCommand::kUpdate) {
    error = "--port belongs to the update command";
    return false;
  }
  if (options.all && options.command != CliCommand::kUpdate) {
    error = "--all belongs to the update command";
    return false;
  }
  if (options.all && portGiven) {
    error = "--all and --port do not go together";
    return false;
  }
  if (options.again && options.command != CliCommand::kStation &&
      options.command != CliCommand::kUpdate) {
    error = "--again belongs to the update and station commands";
    return false;
  }
  if ((!options.serial.empty() || !options.since.empty() || options.csv) &&
      options.command != CliCommand::kHistory) {
    error = "--serial, --since and --csv belong to the history command";
    return false;
  }
  if (options.csv && options.json) {
    error = "--csv and --json do not go together";
    return false;
  }
  if (options.verify && options.command != CliCommand::kUpdate &&
      options.command != CliCommand::kStation) {
    error = "--verify belongs to the update and station commands";
    return false;
  }
  if (options.ignorePower && options.command != CliCommand::kUpdate &&
      options.command != CliCommand::kStation) {
    error = "--ignore-power belongs to the update and station commands";
    return false;
  }
  if (options.offline &&
      (options.command == CliCommand::kDevices || options.command == CliCommand::kHistory ||
       options.command == CliCommand::kDownload)) {
    error = "--offline belongs to the check, update and station commands";
    return false;
  }
  if (options.command == CliCommand::kDownload && options.bundle.empty()) {
    error = "download needs a folder to save the bundle in";
    return false;
  }
  return true;
}

std::string CliUsage() {
  return "usage: " + std::string(kCliProgramName) +
         std::string(
             " [--json] [-v] COMMAND\n"
             "\n"
             "Commands:\n"
             "  check [--offline [DIR]]\n"
             "                        fetch the update manifest; print the offered version\n"
             "                        and the release notes\n"
             "  update [--port PATH] [--verify] [--offline [DIR]] [--ignore-power]\n"
             "         [--again]\n"
             "                        fetch the manifest, then write the firmware into the\n"
             "                        watch; --port skips discovery and opens PATH\n"
             "                        (/dev/ttyACM0 on Linux, COM7 or \\\\.\\COM7 on Windows)\n"
             "                        --verify reads every written block back before the\n"
             "                        update is finished and writes a differing one again\n"
             "                        (about twice the time on the line)\n"
             "                        --offline uses the manifest and images saved by an\n"
             "                        earlier run in the user data folder, or the bundle\n"
             "                        in DIR; nothing is fetched. Saved images are\n"
             "                        written only when their record (images.json) is\n"
             "                        this model's, lists the manifest's version and\n"
             "                        images entry by entry, and each image still has\n"
             "                        its recorded SHA-256; otherwise exit code 6\n"
             "                        --ignore-power writes even on a battery below 25 %\n"
             "                        or with less time left than twice the writing\n"
             "                        (otherwise exit 12: connect the charger)\n"
             "                        a watch whose last run on this computer ended\n"
             "                        \"更新完成\" with the offered firmware (same version,\n"
             "                        same images) is not written: exit 13; --again\n"
             "                        writes it anyway\n"
             "  update --all          fetch the images once, then write every connected\n"
             "                        watch at the same time (so does --port given\n"
             "                        several times); a summary line per watch at the end\n"
             "  station [--again] [--verify] [--offline [DIR]] [--ignore-power]\n"
             "                        fetch the images once, then update each watch as it\n"
             "                        is plugged in, until interrupted; a watch already\n"
             "                        updated in this session, or that already has the\n"
             "                        offered firmware by the history, is not written\n"
             "                        again unless --again is given; a port another\n"
             "                        program holds is tried again after 2, 4, 8, 16 s;\n"
             "                        a watch that failed otherwise is written again\n"
             "                        when it is plugged in again; Ctrl-C ends it with\n"
             "                        every watch's last outcome and tries\n"
             "  history [--serial S] [--since DATE] [--csv]\n"
             "                        every watch's runs on this computer, newest first\n"
             "                        (from history.sqlite in the user data folder);\n"
             "                        --since takes a UTC date (YYYY-MM-DD[THH:MM[:SS]]);\n"
             "                        --json gives one object per run, --csv a table\n"
             "  download DIR          fetch the manifest and every image from the service\n"
             "                        into the folder DIR (made when missing), with the\n"
             "                        record of the images (images.json): a bundle that\n"
             "                        update --offline DIR writes from without a network\n"
             "  devices               list every connected watch (port, serial number,\n"
             "                        place, and opens / busy: pid N (name) / not\n"
             "                        permitted / not a serial port / missing); * marks\n"
             "                        the first that opens, the one the update would\n"
             "                        pick; exit 8 when none opens, 3 when none is\n"
             "                        connected; -v adds the other serial ports\n"
             "\n"
             "Options:\n"
             "  --json                one JSON object per line (events status, progress,\n"
             "                        device, result) instead of text\n"
             "  -v, --verbose         also write the run log's lines to standard error\n"
             "  -h, --help            this text\n"
             "  -V, --version         the program and its version\n"
             "\n"
             "An interrupt (Ctrl-C, SIGTERM, SIGHUP, Ctrl-Break) before writing begins\n"
             "stops at once; during writing the update finishes first. With several\n"
             "watches, every watch being written finishes and no other one starts.\n"
             "Output that does not move (Ctrl-S, a paused pager) never holds a watch\n"
             "up; at the end the program waits at most 5 s for it, then ends anyway.\n"
             "Every check and update is logged to update.log in the user data folder.\n"
             "Images are fetched only over https, at most 64 MiB of them together.\n"
             "With --json every run ends with one result line: exit_code, reason (a\n"
             "stable English word: done, usage, no_watch, interrupted, ...) and schema;\n"
             "a failure's result also carries cause: kind (a stable word such as\n"
             "permission_denied, port_busy, not_a_serial_port, no_space,\n"
             "service_unreachable_saved_images), port, errno, holder, path or date\n"
             "where known, and hint, the line said beneath the status. devices'\n"
             "result carries picked, the port the update would open.\n"
             "A failure's cause and what to do next are said on standard error\n"
             "beneath the status.\n"
             "\n"
             "Exit codes:\n") +
         ExitCodeTable();
}

std::string CliVersionLine() {
  return std::string(kCliProgramName) + " " + KESTRUNE_PROGRAM_VERSION;
}

}  // namespace kestrune
