// kestrune-update: the firmware updater on the command line, for scripts
// and service desks, on the same procedures as the dialog.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_output.h"
#include "app/cli/console.h"
#include "app/cli/exit_codes.h"
#include "app/cli/program_end.h"
#include "report/report_drain.h"
#include "transfer/run_outcome.h"
#include "update/run_log.h"

int main(int argc, char** argv) {
  using namespace kestrune;
  PrepareConsole();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  CliOptions options;
  std::string error;
  const int badUsage = static_cast<int>(ExitCode::kBadUsage);
  if (!ParseCliOptions(arguments, options, error)) {
    std::fprintf(stderr, "%s: %s\n\n", kCliProgramName, error.c_str());
    std::fputs(CliUsage().c_str(), stderr);
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
  const OutputStyle style = options.json                 ? OutputStyle::kJson
                            : StandardOutputIsTerminal() ? OutputStyle::kTerminal
                                                         : OutputStyle::kPlain;
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
  CliOutput output(style, drain);
  const int code = RunCliCommand(options, output, folderCause);
  UserRunLog().SetEcho(nullptr);
  return EndProgram(drain, kOutputWaitAtEnd, code);
}
