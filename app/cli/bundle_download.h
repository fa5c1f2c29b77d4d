#pragma once
// download DIR: a bundle for the field. The service's manifest, every image
// it lists and the record of those images go into one folder, which
// update --offline DIR and station --offline DIR later write from where
// there is no network.

#include "app/cli/cli_output.h"
#include "transfer/update_environment.h"

namespace kestrune {

// Fetches into `environment.dataFolder` (made when missing) from the
// service, and returns the exit code: 0 when the manifest came from the
// service and every image is in the folder with its record; the manifest's
// or the images' code otherwise (4, 5, 6), and 1 when the folder cannot be
// made or the record cannot be written. `manifest` is where the check puts
// the manifest text.
int DownloadBundle(const UpdateEnvironment& environment, CliOutput& output,
                   SharedManifestText& manifest);

}  // namespace kestrune
