// The outcome table: what each way a run can end shows, exits with and is
// called in JSON.
#include "transfer/run_outcome.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

struct Row {
  RunOutcome outcome;
  std::u16string status;
  int exitCode;
  std::string reason;
};

// The documented contract (README, --help, the manual page).
const Row kDocumented[] = {
    {RunOutcome::kDone, kUpdateDone, 0, "done"},
    {RunOutcome::kNoWatch, kConnectWatch, 3, "no_watch"},
    {RunOutcome::kPortUnavailable, kPortUnavailable, 8, "port_unavailable"},
    {RunOutcome::kWatchSilent, kWatchSilent, 9, "watch_silent"},
    {RunOutcome::kBlockRefused, kUpdateFailed, 7, "block_refused"},
    {RunOutcome::kLinkFailed, kUpdateFailed, 10, "link_failed"},
    {RunOutcome::kImageDownloadFailed, kImageDownloadFailed, 5, "image_download_failed"},
    {RunOutcome::kImageWrongSize, kImageWrongSize, 6, "image_wrong_size"},
    {RunOutcome::kNoUpdateData, kNoUpdateData, 4, "no_update_data"},
    {RunOutcome::kClosedBeforeWriting, u"", 130, "interrupted"},
    {RunOutcome::kPowerLow, u"", 12, "power"},
    {RunOutcome::kAlreadyCurrent, kAlreadyCurrent, 13, "already_current"},
    {RunOutcome::kFailure, kUpdateFailed, 1, "failure"},
};

TEST(RunOutcome, EachOutcomeHasItsDocumentedStatusCodeAndReason) {
  for (const Row& row : kDocumented) {
    EXPECT_EQ(RunOutcomeStatus(row.outcome), row.status) << row.reason;
    EXPECT_EQ(RunOutcomeExitCode(row.outcome), row.exitCode) << row.reason;
    EXPECT_EQ(RunOutcomeReason(row.outcome), row.reason) << row.reason;
  }
}

TEST(RunOutcome, OutcomesAreToldApartByCodeReasonAndAlmostAlwaysByStatus) {
  std::set<int> codes;
  std::set<std::string> reasons;
  std::set<std::u16string> statuses;
  for (const Row& row : kDocumented) {
    EXPECT_TRUE(codes.insert(RunOutcomeExitCode(row.outcome)).second) << row.reason;
    EXPECT_TRUE(reasons.insert(RunOutcomeReason(row.outcome)).second) << row.reason;
    // A failure nobody can act on shows "更新錯誤" like a refused block: the
    // user's next step is the same, and the run log tells support which.
    // A lost line shows it too: the windows keep their texts. A weak battery
    // that stops a run before writing leaves no word, like a close before
    // writing: the window's user has just answered that.
    if (row.outcome == RunOutcome::kFailure || row.outcome == RunOutcome::kLinkFailed ||
        row.outcome == RunOutcome::kPowerLow)
      continue;
    EXPECT_TRUE(statuses.insert(RunOutcomeStatus(row.outcome)).second) << row.reason;
  }
  EXPECT_EQ(RunOutcomeStatus(RunOutcome::kFailure), RunOutcomeStatus(RunOutcome::kBlockRefused));
  EXPECT_EQ(RunOutcomeStatus(RunOutcome::kLinkFailed), RunOutcomeStatus(RunOutcome::kBlockRefused));
  EXPECT_EQ(RunOutcomeStatus(RunOutcome::kPowerLow), u"");
  // No run's end reads like a step in between or like the check's end.
  for (const char16_t* step :
       {kFetchingImages, kWritingImage, kFetchingUpdateData, kUpdateDataFetched, kCloseDeferred}) {
    EXPECT_EQ(statuses.count(step), 0u);
  }
}

TEST(UpdateCheckOutcome, AShownManifestIsFetchedWhicheverItsSource) {
  EXPECT_EQ(UpdateCheckStatus(UpdateCheckOutcome::kFetched), kUpdateDataFetched);
  EXPECT_EQ(UpdateCheckStatus(UpdateCheckOutcome::kFromSavedManifest), kUpdateDataFetched);
  EXPECT_EQ(UpdateCheckStatus(UpdateCheckOutcome::kNoUpdateData), kNoUpdateData);
}

}  // namespace
}  // namespace kestrune
