#include "transfer/run_outcome.h"

#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

struct OutcomeRow {
  RunOutcome outcome;
  const char16_t* status;
  int exitCode;
  const char* reason;
};

// The exit codes and words are a contract that scripts rely on; kFailure
// shows the same "更新錯誤" as a refused block: the user can do nothing
// different about it, support reads the cause in the run log.
constexpr OutcomeRow kRows[] = {
    {RunOutcome::kDone, kUpdateDone, 0, "done"},
    {RunOutcome::kNoWatch, kConnectWatch, 3, "no_watch"},
    {RunOutcome::kNoUpdateData, kNoUpdateData, 4, "no_update_data"},
    {RunOutcome::kImageDownloadFailed, kImageDownloadFailed, 5, "image_download_failed"},
    {RunOutcome::kImageWrongSize, kImageWrongSize, 6, "image_wrong_size"},
    {RunOutcome::kBlockRefused, kUpdateFailed, 7, "block_refused"},
    {RunOutcome::kPortUnavailable, kPortUnavailable, 8, "port_unavailable"},
    {RunOutcome::kWatchSilent, kWatchSilent, 9, "watch_silent"},
    // A lost line shows "更新錯誤" as a refused block does (the windows keep
    // their texts); scripts tell the two apart by code and word.
    {RunOutcome::kLinkFailed, kUpdateFailed, 10, "link_failed"},
    {RunOutcome::kClosedBeforeWriting, u"", 130, "interrupted"},
    // Connect the charger: the window's user answered the question already,
    // the command line says it in its own words.
    {RunOutcome::kPowerLow, u"", 12, "power"},
    {RunOutcome::kAlreadyCurrent, kAlreadyCurrent, 13, "already_current"},
    {RunOutcome::kFailure, kUpdateFailed, 1, "failure"},
};

const OutcomeRow& RowOf(RunOutcome outcome) {
  for (const OutcomeRow& row : kRows) {
    if (row.outcome == outcome) return row;
  }
  return kRows[sizeof kRows / sizeof kRows[0] - 1];  // kFailure
}

}  // namespace

std::u16string RunOutcomeStatus(RunOutcome outcome) { return RowOf(outcome).status; }

int RunOutcomeExitCode(RunOutcome outcome) { return RowOf(outcome).exitCode; }

const char* RunOutcomeReason(RunOutcome outcome) { return RowOf(outcome).reason; }

}  // namespace kestrune
