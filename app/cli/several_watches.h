#pragma once
// The commands of kestrune-update that write several watches from one
// fetch of the images: update --all (or --port given several times) and
// station.

#include "app/cli/cli_options.h"
#include "app/cli/cli_output.h"
#include "app/cli/watch_runs.h"
#include "transfer/firmware_update.h"
#include "transfer/update_environment.h"

namespace kestrune {

// Writes every connected watch (update --all) or every port given, all at
// once, from the images fetched once; prints a summary line per watch and
// returns the exit code: 0 when every watch ended "更新完成", 11 when one did
// not, 3 when there is no watch, the fetch's code when the images cannot be
// had. `environment` is the command's surroundings, `manifest` what the
// update check fetched; `chosen`, when not empty, the watches to write
// (chosen by serial number) instead of every one or the ports given.
int UpdateSeveralWatches(const CliOptions& options, const UpdateEnvironment& environment,
                         CliOutput& output, const SharedManifestText& manifest,
                         const std::vector<WatchToWrite>& chosen = {});

// Fetches the images once, then writes each watch as it is plugged in
// (the device tree looked at about once a second), until an interrupt;
// returns 0 when every watch it wrote ended "更新完成", 11 otherwise, and
// 128 + the signal when it wrote none. Given serial numbers (--serial), it
// writes only those watches and says of each other one, once, that it is
// not chosen.
int RunStation(const CliOptions& options, const UpdateEnvironment& environment, CliOutput& output,
               const SharedManifestText& manifest);

}  // namespace kestrune
