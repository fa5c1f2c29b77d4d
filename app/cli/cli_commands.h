#pragma once
// The commands of kestrune-update on the same procedures as the dialog.

#include "app/cli/cli_options.h"
#include "app/cli/cli_output.h"

namespace kestrune {

// Runs the command and returns the process's exit code. Interrupts are
// handled from here on: before writing begins one ends the process at once
// with the interrupted code; during writing the run finishes first.
// A known `folderCause` (UserDataFolderCause) is said instead of what the
// service or the images seem to have done when a run fails for want of the
// data folder.
int RunCliCommand(const CliOptions& options, CliOutput& output, const RunCause& folderCause = {});

}  // namespace kestrune
