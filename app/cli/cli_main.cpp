// kestrune-update: the firmware updater on the command line, for scripts
// and service desks, on the same procedures as the dialog.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <string>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_output.h"
#include "app/cli/console.h"
#include "app/cli/exit_codes.h"
#include "app/cli/program_end.h"
#include "i18n/translate.h"
#include "report/report_drain.h"
#include "transfer/run_outcome.h"
#include "update/run_log.h"
#include "update/text_conversion.h"
#include "update/user_data_folder.h"

namespace {

// --data-dir's folder, absolute and made when missing; empty with `error`
// saying why when it cannot be had.
std::u16string MakeDataFolder(const std::string& given, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code failed;
  const fs::path path = fs::absolute(fs::path(kestrune::Utf8ToWideText(given)), failed);
  if (!failed) fs::create_directories(path, failed);
  if (failed || !fs::is_directory(path)) {
    error = kestrune::Tr("the data folder {1} cannot be made: {2}",
                         {given, failed ? failed.message() : std::string("not a folder")});
    return {};
  }
  return path.lexically_normal().u16string();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrune;
  PrepareConsole();
  StartTranslation();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  CliOptions options;
  std::string error;
  const int badUsage = static_cast<int>(ExitCode::kBadUsage);
  if (!ParseCliOptions(arguments, options, error)) {
    std::fputs(CliUsageError(error).c_str(), stderr);
    if (options.json) {
      ReportDrain drain;
      CliOutput(OutputStyle::kJson, drain)
          .Result(badUsage, ExitReason(badUsage), u"", {{"message", error}});
      return EndProgram(drain, kOutputWaitAtEnd, badUsage);
    }
    return badUsage;
  }
  if (options.command == CliCommand::kHelp || options.command == CliCommand::kVersion) {
    const std::string text =
        options.command == CliCommand::kHelp ? CliUsage() : CliVersionLine() + "\n";
    // A reader that went away after what it wanted (`| head`) is no
    // failure: the text is longer than one buffer, so its end can find the
    // pipe closed.
    errno = 0;
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    return written || errno == EPIPE ? 0 : RunOutcomeExitCode(RunOutcome::kFailure);
  }
  // TERM=dumb: a terminal that takes no cursor movement gets plain lines.
  const char* term = std::getenv("TERM");
  const bool dumbTerminal = term != nullptr && std::string(term) == "dumb";
  const OutputStyle style = options.json                                  ? OutputStyle::kJson
                            : StandardOutputIsTerminal() && !dumbTerminal ? OutputStyle::kTerminal
                                                                          : OutputStyle::kPlain;
  if (!options.dataDir.empty()) {
    // Before any thread starts or any data file is opened: the run log and
    // the history are opened in the folder chosen here.
    const std::u16string folder = MakeDataFolder(options.dataDir, error);
    if (folder.empty()) {
      std::fprintf(stderr, "%s: %s\n", kCliProgramName, error.c_str());
      const int failure = RunOutcomeExitCode(RunOutcome::kFailure);
      if (options.json) {
        ReportDrain drain;
        CliOutput(OutputStyle::kJson, drain)
            .Result(failure, ExitReason(failure), u"", {{"message", error}});
        return EndProgram(drain, kOutputWaitAtEnd, failure);
      }
      return failure;
    }
    ChooseUserDataFolder(folder);
    UserRunLog();
  }
  // The one thread that prints: nothing else waits for the terminal.
  ReportDrain drain;
  // A data folder that takes no file takes no run log either: its lines go
  // to standard error then, rather than nowhere.
  const RunCause folderCause = UserDataFolderCause();
  if (options.verbose || folderCause.Known()) {
    // On the output thread, straight to the stream, not through the
    // output: a closed standard error is noted in the log, whose echo must
    // not come back here.
    UserRunLog().SetEcho([&drain](const std::string& line) {
      drain.Push([line] {
        static bool closed = false;  // on the output thread only
        if (closed) return;
        std::fputs((line + "\n").c_str(), stderr);
        if (std::fflush(stderr) != 0) closed = true;
      });
    });
  }
  CliOutput output(style, drain, options.quiet);
  const int code = RunCliCommand(options, output, folderCause);
  UserRunLog().SetEcho(nullptr);
  return EndProgram(drain, kOutputWaitAtEnd, code);
}
