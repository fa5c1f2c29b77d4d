// The Linux program: the main window on the Qt event loop. Its command
// line is --help, --version and Qt's own display options.
#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/frontend/exit_leaving_statics.h"
#include "app/linux/main_window_qt.h"
#include "app/linux/window_options.h"
#include "app/linux/window_close_signals_posix.h"
#include "history/history_writer.h"
#include "i18n/translate.h"

int main(int argc, char** argv) {
  // Answered before QApplication is made: no display is needed for them.
  const kestrune::WindowCommandLine commandLine = kestrune::ParseWindowOptions(
      std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (commandLine.command == kestrune::WindowCommand::kBadUsage) {
    std::fputs(kestrune::WindowUsageError(commandLine.error).c_str(), stderr);
    return 2;
  }
  if (commandLine.command != kestrune::WindowCommand::kOpenWindow) {
    const std::string text = commandLine.command == kestrune::WindowCommand::kHelp
                                 ? kestrune::WindowUsage()
                                 : kestrune::WindowVersionLine() + "\n";
    errno = 0;
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    return written || errno == EPIPE ? 0 : 1;
  }
  QApplication application(argc, argv);
  kestrune::StartTranslation();
  QApplication::setDesktopFileName(QString::fromLatin1(kestrune::kLinuxProgramName));
  int exitCode = 0;
  bool workersLeft = false;
  {
    kestrune::MainWindowQt window(kestrune::ProgramWorkers());
    // A termination signal is a close: at once before writing, at the
    // run's end while the watch is being written.
    kestrune::WindowCloseSignals closeSignals;
    QObject::connect(&closeSignals, &kestrune::WindowCloseSignals::CloseRequested, &window,
                     [&window] { window.close(); });
    window.show();
    exitCode = application.exec();
    workersLeft = window.WorkersRunning();
  }
  // A worker that outlived the window (an update check still waiting for
  // the service, say) must not meet the program's statics being torn down.
  // The history rows of runs that have ended are written first, within a
  // bound: the rest of the end never waits for a locked file for long.
  kestrune::UserHistoryWriter().Flush(std::chrono::seconds(3));
  if (workersLeft) kestrune::ExitLeavingStatics(exitCode);
  return exitCode;
}
