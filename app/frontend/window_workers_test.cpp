// A window's worker bookkeeping, as both windows start their workers: each
// is counted from before its thread until its body has ended, however it
// ended, and a firmware update's end always reaches the window with writing
// cleared.
#include "app/frontend/window_workers.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kestrune {
namespace {

using Kind = WindowNotice::Kind;

class RecordingSharedState : public WorkerSharedState {
 public:
  RecordingSharedState() : WorkerSharedState("kestrune-test") {}
  void Post(WindowNotice notice) override { kinds.push_back(notice.kind); }
  std::vector<Kind> kinds;
};

// Runs the worker on the calling thread, as a thread would.
bool RunAtOnce(const std::function<void()>& run) {
  run();
  return true;
}

TEST(WindowWorkers, EachWorkerIsCountedOutAndOnlyAFirmwareUpdateSaysItEnded) {
  struct Case {
    const char* name;
    WorkerKind kind;
    bool throws;
    std::vector<Kind> expected;
  };
  const Case cases[] = {
      {"check returns", WorkerKind::kUpdateCheck, false, {Kind::kStatus}},
      {"check throws", WorkerKind::kUpdateCheck, true, {Kind::kStatus}},
      {"update returns", WorkerKind::kFirmwareUpdate, false, {Kind::kStatus, Kind::kRunFinished}},
      {"update throws", WorkerKind::kFirmwareUpdate, true, {Kind::kStatus, Kind::kRunFinished}},
  };
  for (const Case& c : cases) {
    auto shared = std::make_shared<RecordingSharedState>();
    int runningInside = -1;
    const bool throws = c.throws;
    const bool started = StartCountedWorker(
        shared, c.kind,
        [&, throws] {
          runningInside = shared->RunningWorkers();
          ASSERT_TRUE(shared->Gate().BeginWriting());
          shared->Post({Kind::kStatus, u"writing"});
          if (throws) throw std::runtime_error("line failed");
        },
        RunAtOnce);
    EXPECT_TRUE(started) << c.name;
    EXPECT_EQ(runningInside, 1) << c.name;
    EXPECT_EQ(shared->RunningWorkers(), 0) << c.name;
    EXPECT_EQ(shared->kinds, c.expected) << c.name;
    // A firmware update's end clears writing even when its run did not.
    EXPECT_EQ(shared->Gate().Writing(), c.kind == WorkerKind::kUpdateCheck) << c.name;
  }
}

TEST(WindowWorkers, AWorkerWithoutAThreadIsCountedOutAndNeverRuns) {
  auto shared = std::make_shared<RecordingSharedState>();
  bool ran = false;
  EXPECT_FALSE(StartCountedWorker(
      shared, WorkerKind::kFirmwareUpdate, [&] { ran = true; },
      [](const std::function<void()>&) { return false; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(shared->RunningWorkers(), 0);
  EXPECT_TRUE(shared->kinds.empty());
}

// The runs read the manifest text the check stored, through the one
// environment the window filled, and decide writing with its gate.
TEST(WorkerSharedState, TheRunEnvironmentIsTheWindowsOwn) {
  RecordingSharedState shared;
  const UpdateEnvironment& environment = shared.RunEnvironment();
  EXPECT_EQ(environment.closeGate, &shared.Gate());
  EXPECT_EQ(environment.programName, "kestrune-test");
  EXPECT_EQ(environment.manifestText(), nullptr);
  shared.SetManifestText("{\"response\":{}}");
  ASSERT_NE(environment.manifestText(), nullptr);
  EXPECT_EQ(*environment.manifestText(), "{\"response\":{}}");
  EXPECT_TRUE(environment.portPath.empty());  // a window always lets discovery find the watch
}

}  // namespace
}  // namespace kestrune
