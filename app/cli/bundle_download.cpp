#include "app/cli/bundle_download.h"

#include <filesystem>
#include <memory>
#include <string>

#include "app/cli/cli_options.h"
#include "app/cli/fetch_printer.h"
#include "i18n/translate.h"
#include "transfer/firmware_fetch.h"
#include "transfer/logged_firmware_update_reporter.h"
#include "transfer/logged_runs.h"
#include "transfer/run_outcome.h"
#include "update/run_log.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

// The check's statuses, printed as a check prints them.
class CheckPrinter : public UpdateCheckReporter {
 public:
  CheckPrinter(CliOutput& output, SharedManifestText& manifest)
      : output_(output), manifest_(manifest) {}
  void PostStatus(const std::u16string& text) override { output_.Status(text); }
  void StoreManifestText(const std::string& text) override {
    manifest_ = std::make_shared<const std::string>(text);
  }
  void ShowFirmwareVersion(const std::u16string&) override {}
  void ShowReleaseNotes(const std::u16string&) override {}

 private:
  CliOutput& output_;
  SharedManifestText& manifest_;
};

int Finish(CliOutput& output, RunOutcome outcome, const std::u16string& status,
           const std::vector<std::pair<std::string, std::string>>& extra = {}) {
  const int code = RunOutcomeExitCode(outcome);
  output.Result(code, RunOutcomeReason(outcome), status, extra);
  WriteRunLog("download: " + std::string(kCliProgramName) + " exits with " + std::to_string(code));
  return code;
}

}  // namespace

int DownloadBundle(const UpdateEnvironment& environment, CliOutput& output,
                   SharedManifestText& manifest) {
  const std::string folder = WideToUtf8Text(environment.dataFolder);
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(environment.dataFolder), error);
  if (error || !std::filesystem::is_directory(std::filesystem::path(environment.dataFolder))) {
    output.Message(std::string(kCliProgramName) + ": " +
                   Tr("cannot make the folder {1}", {folder}));
    WriteRunLog("download: the folder " + folder + " cannot be made" +
                (error ? ": " + error.message() : std::string()));
    return Finish(output, RunOutcome::kFailure, u"");
  }
  WriteRunLog("download: a bundle into " + folder);
  CheckPrinter check(output, manifest);
  // A bundle holds what the service offers now, never a manifest an
  // earlier download left in the folder.
  if (RunLoggedUpdateCheck(check, environment) != UpdateCheckOutcome::kFetched) {
    WriteRunLog("download: the service gave no usable manifest; no bundle is made");
    return Finish(output, RunOutcome::kNoUpdateData, RunOutcomeStatus(RunOutcome::kNoUpdateData));
  }
  FetchPrinter printer(output);
  LoggedFirmwareUpdateReporter logged(printer, UserRunLog(), environment.programName);
  FetchedFirmware firmware;
  RunOutcome outcome = RunOutcome::kFailure;
  try {
    outcome = FetchFirmware(logged, manifest, environment, firmware);
  } catch (const std::exception& failure) {
    logged.Note(std::string("fetch stopped: ") + failure.what());
  }
  if (outcome == RunOutcome::kDone && !firmware.recorded) outcome = RunOutcome::kFailure;
  if (outcome != RunOutcome::kDone) {
    const std::u16string status = RunOutcomeStatus(outcome);
    logged.PostStatus(status);
    return Finish(output, outcome, status);
  }
  std::uint64_t bytes = 0;
  for (const FetchedImage& image : firmware.images) bytes += image.bytes.size;
  const std::string images = std::to_string(firmware.images.size());
  const std::string summary = Fill("{1} image(s), {2} bytes", {images, std::to_string(bytes)});
  WriteRunLog("download: bundle of firmware " + WideToUtf8Text(firmware.version) + ", " + summary +
              " in " + folder);
  return Finish(
      output, RunOutcome::kDone, u"",
      {{"bundle", folder},
       {"firmware_version", WideToUtf8Text(firmware.version)},
       {"images", output.Say("{1} image(s), {2} bytes", {images, std::to_string(bytes)})}});
}

}  // namespace kestrune
