#include "app/cli/cli_options.h"

#include "app/cli/exit_codes.h"
#include "history/history_listing.h"
#include "i18n/translate.h"

namespace kestrune {

namespace {

// A short option on its own or in a bundle ("-vV"); false for a letter
// that is none. -h and -V end the reading: `answered` is set.
bool ShortOption(char letter, CliOptions& options, bool& answered) {
  switch (letter) {
    case 'h':
      options.command = CliCommand::kHelp;
      answered = true;
      return true;
    case 'V':
      options.command = CliCommand::kVersion;
      answered = true;
      return true;
    case 'v': options.verbose = true; return true;
    case 'q': options.quiet = true; return true;
    default: return false;
  }
}

bool IsShortOptions(const std::string& argument) {
  return argument.size() >= 2 && argument[0] == '-' && argument[1] != '-';
}

// "--name VALUE" or "--name=VALUE" at `i`: the value into `value` (and `i`
// past it); false with `error` set when there is none.
bool OptionValue(const std::vector<std::string>& arguments, std::size_t& i, const std::string& name,
                 const std::string& missing, std::string& value, std::string& error) {
  const std::string& argument = arguments[i];
  if (argument == name) {
    if (i + 1 >= arguments.size()) {
      error = missing;
      return false;
    }
    value = arguments[++i];
  } else {
    value = argument.substr(name.size() + 1);
  }
  if (value.empty()) error = missing;
  return !value.empty();
}

bool IsOption(const std::string& argument, const std::string& name) {
  return argument == name || argument.rfind(name + "=", 0) == 0;
}

}  // namespace

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
    if (argument == "--help") {
      options.command = CliCommand::kHelp;
      return true;
    }
    if (argument == "--version") {
      options.command = CliCommand::kVersion;
      return true;
    }
    if (IsShortOptions(argument)) {
      bool answered = false;
      for (std::size_t letter = 1; letter < argument.size() && !answered; ++letter) {
        if (!ShortOption(argument[letter], options, answered)) {
          error = "unknown option -" + argument.substr(letter, 1) +
                  (argument.size() > 2 ? " in " + argument : "");
          return false;
        }
      }
      if (answered) return true;
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--verbose") {
      options.verbose = true;
    } else if (argument == "--quiet") {
      options.quiet = true;
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
    } else if (IsOption(argument, "--port")) {
      if (!OptionValue(arguments, i, "--port",
                       "--port needs a port (a device path, or COMn on Windows)", options.port,
                       error)) {
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
    } else if (IsOption(argument, "--serial")) {
      std::string serial;
      if (!OptionValue(arguments, i, "--serial", "--serial needs a serial number", serial, error)) {
        return false;
      }
      for (const std::string& given : options.serials) {
        if (given == serial) {
          error = "--serial " + given + " is given twice";
          return false;
        }
      }
      options.serials.push_back(serial);
    } else if (IsOption(argument, "--data-dir")) {
      if (!OptionValue(arguments, i, "--data-dir", "--data-dir needs a folder", options.dataDir,
                       error)) {
        return false;
      }
    } else if (argument == "--since") {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
        error = "--since needs a date";
        return false;
      }
      options.since = arguments[++i];
      if (!ParseSinceDate(options.since, options.sinceUtc)) {
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
  if (options.quiet && options.verbose) {
    error = "-q and -v do not go together";
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
  if (!options.serials.empty() && (options.all || portGiven)) {
    error = options.all ? "--all and --serial do not go together"
                        : "--port and --serial do not go together";
    return false;
  }
  if (options.again && options.command != CliCommand::kStation &&
      options.command != CliCommand::kUpdate) {
    error = "--again belongs to the update and station commands";
    return false;
  }
  if (!options.serials.empty() && options.command != CliCommand::kUpdate &&
      options.command != CliCommand::kStation && options.command != CliCommand::kHistory) {
    error = "--serial belongs to the update, station and history commands";
    return false;
  }
  if (options.serials.size() > 1 && options.command == CliCommand::kHistory) {
    error = "history takes one --serial";
    return false;
  }
  if ((!options.since.empty() || options.csv) && options.command != CliCommand::kHistory) {
    error = "--since and --csv belong to the history command";
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

std::string CliUsageError(const std::string& error) {
  return std::string(kCliProgramName) + ": " + error + "\n" +
         Tr("see '{1} --help'", {kCliProgramName}) + "\n";
}

std::string CliUsage() {
  return "usage: " + std::string(kCliProgramName) +
         std::string(
             " [OPTIONS] COMMAND [COMMAND-OPTIONS]\n"
             "\n"
             "Commands:\n"
             "  check [--offline [DIR]]\n"
             "                        fetch the update manifest; print the offered version\n"
             "                        and the release notes\n"
             "  update [--serial S | --port PATH] [--verify] [--offline [DIR]]\n"
             "         [--ignore-power] [--again]\n"
             "                        fetch the manifest, then write the firmware into the\n"
             "                        watch; with one watch connected, that one\n"
             "                        --serial S writes the watch with USB serial number S\n"
             "                        (given several times: those watches at once); one\n"
             "                        that is not connected ends with exit code 3\n"
             "                        --port skips discovery and opens PATH\n"
             "                        (/dev/ttyACM0 on Linux, COM7 or \\\\.\\COM7 on Windows)\n"
             "                        several watches connected and none of --serial,\n"
             "                        --port, --all given: nothing is fetched or written;\n"
             "                        they are listed (serial number, port, place) and\n"
             "                        the exit code is 2\n"
             "                        --verify reads every written block back before the\n"
             "                        update is finished and writes a differing one again\n"
             "                        (about twice the time on the line)\n"
             "                        --offline uses the manifest and images saved by an\n"
             "                        earlier run in the data folder, or the bundle in\n"
             "                        DIR; nothing is fetched. Saved images are written\n"
             "                        only when their record (images.json) is this\n"
             "                        model's, lists the manifest's version and images\n"
             "                        entry by entry, and each image still has its\n"
             "                        recorded SHA-256; otherwise exit code 6\n"
             "                        --ignore-power writes even on a battery below 25 %\n"
             "                        or with less time left than twice the writing\n"
             "                        (otherwise exit 12: connect the charger)\n"
             "                        a watch whose last run on this computer ended\n"
             "                        \"更新完成\" with the offered firmware (same version,\n"
             "                        same images) is not written: exit 13; --again\n"
             "                        writes it anyway\n"
             "  update --all [--verify] [--offline [DIR]] [--ignore-power] [--again]\n"
             "                        fetch the images once, then write every connected\n"
             "                        watch at the same time (so do --port and --serial\n"
             "                        given several times); a summary line per watch at\n"
             "                        the end; --verify, --offline, --ignore-power and\n"
             "                        --again apply to every watch as to one\n"
             "  station [--serial S]... [--again] [--verify] [--offline [DIR]]\n"
             "          [--ignore-power]\n"
             "                        fetch the images once, then update each watch as it\n"
             "                        is plugged in, until interrupted; with --serial only\n"
             "                        those watches (every other is said once to be not\n"
             "                        chosen and left alone); a watch already updated in\n"
             "                        this session, or that already has the offered\n"
             "                        firmware by the history, is not written again\n"
             "                        unless --again is given; a port another program\n"
             "                        holds is tried again after 2, 4, 8, 16 s; a watch\n"
             "                        that failed otherwise is written again when it is\n"
             "                        plugged in again; Ctrl-C ends it with every\n"
             "                        watch's last outcome and tries\n"
             "  history [--serial S] [--since DATE] [--csv]\n"
             "                        every watch's runs on this computer, newest first\n"
             "                        (from history.sqlite in the data folder);\n"
             "                        --since takes a UTC date (YYYY-MM-DD[THH:MM[:SS]]);\n"
             "                        --json gives one object per run, --csv a table\n"
             "  download DIR          fetch the manifest and every image from the service\n"
             "                        into the folder DIR (made when missing), with the\n"
             "                        record of the images (images.json): a bundle that\n"
             "                        update --offline DIR writes from without a network\n"
             "  devices               list every connected watch (port, serial number,\n"
             "                        place, and opens / busy: pid N (name) / not\n"
             "                        permitted / not a serial port / missing); * marks\n"
             "                        the first that opens; exit 8 when none opens, 3\n"
             "                        when none is connected; -v adds the other serial\n"
             "                        ports\n"
             "\n"
             "Options (before or after the command; short ones bundle: -vV):\n"
             "  --json                one JSON object per line instead of text (below)\n"
             "  -q, --quiet           no progress and no status but the last: the result\n"
             "                        (the last status, check's version lines, the\n"
             "                        summary of several watches, devices' and history's\n"
             "                        lists) and messages and errors on standard error;\n"
             "                        with --json only the result line (and device and\n"
             "                        history events)\n"
             "  -v, --verbose         also write the run log's lines to standard error\n"
             "                        (more than one -v is the same as one); -q and -v\n"
             "                        together are a usage error\n"
             "  --data-dir DIR        keep the data (features.json, the images,\n"
             "                        images.json, update.log, history.sqlite) in DIR,\n"
             "                        made when missing, instead of the data folder\n"
             "  -h, --help            this text\n"
             "  -V, --version         the program and its version\n"
             "\n"
             "The data folder is \"orvel kestrune\" in the documents folder\n"
             "(xdg-user-dir DOCUMENTS on Linux, ~/Documents when none is set; Documents\n"
             "on Windows), or --data-dir's. Every check and update is logged to\n"
             "update.log there. Images are fetched only over https, at most 64 MiB of\n"
             "them together.\n"
             "\n"
             "On a terminal the progress redraws one line (one line per watch for\n"
             "several); with TERM=dumb, or when the output is not a terminal, every\n"
             "status is a plain line and no escape sequence or cursor movement is\n"
             "written. The output has no colours (NO_COLOR changes nothing).\n"
             "\n"
             "A usage error prints one line and where to look, and exits 2.\n"
             "\n"
             "An interrupt (Ctrl-C, SIGTERM, SIGHUP, Ctrl-Break) before writing begins\n"
             "stops at once; during writing the update finishes first. With several\n"
             "watches, every watch being written finishes and no other one starts.\n"
             "Output that does not move (Ctrl-S, a paused pager) never holds a watch\n"
             "up; at the end the program waits at most 5 s for it, then ends anyway.\n"
             "\n"
             "JSON events; each but history carries \"time\", when it happened (UTC,\n"
             "ISO 8601, milliseconds: \"2026-12-11T10:24:19.123Z\"):\n"
             "  status     {\"text\"}; with several watches also "
             "{\"watch\":{\"serial\",\"port\"}}\n"
             "  progress   {\"done\",\"total\"} blocks (and \"watch\")\n"
             "  verifying  {\"blocks\"}: the written blocks are read back (--verify)\n"
             "  notice     {\"watch\",\"text\"}: a watch a station or several-watch run\n"
             "             leaves alone, and why (already updated, not chosen, ...)\n"
             "  device     {\"port\",\"serial\",\"location\",\"opens\",\"picked\"} (devices)\n"
             "  passed_over {\"instance_id\",\"path\",\"reason\"} (devices -v)\n"
             "  history    one run of the history (history), with its own start and end\n"
             "  result     last, in every run (usage errors and interrupts too):\n"
             "             {\"schema\":1,\"exit_code\",\"reason\",\"status\"}, with\n"
             "             firmware_version, release_note and source after check,\n"
             "             message after a usage error or a refusal, \"watches\" (serial,\n"
             "             port, exit_code, reason, status, seconds, tries) with several\n"
             "             watches; reason is a stable English word: done, failure,\n"
             "             usage, no_watch, no_update_data, image_download_failed,\n"
             "             image_wrong_size, block_refused, port_unavailable,\n"
             "             watch_silent, link_failed, watches_failed, power,\n"
             "             already_current, interrupted\n"
             "  A failure's result also carries \"cause\": kind (a stable word such as\n"
             "  permission_denied, port_busy, not_a_serial_port, no_space,\n"
             "  service_unreachable_saved_images), port, errno, holder, path or date\n"
             "  where known, and hint, the line said beneath the status. A failure's\n"
             "  cause and what to do next are said on standard error beneath the\n"
             "  status.\n"
             "\n"
             "Exit codes:\n") +
         ExitCodeTable();
}

std::string CliVersionLine() {
  return std::string(kCliProgramName) + " " + KESTRUNE_PROGRAM_VERSION;
}

}  // namespace kestrune
