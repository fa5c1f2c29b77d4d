// The Linux window's hand-over with its workers: after the window detaches
// no notice reaches it, not even one whose delivery was under way, and a
// worker's end is always announced.
#include "app/linux/window_shared_state.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/linux/window_workers.h"

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using Kind = WindowNotice::Kind;

// Collects notices as a window's queue would; Wait() blocks until `count`
// have arrived.
class NoticeLog {
 public:
  WindowSharedState::Sink Sink() {
    return [this](WindowNotice notice) {
      std::lock_guard<std::mutex> guard(mutex_);
      notices_.push_back(std::move(notice));
      arrived_.notify_all();
    };
  }
  std::vector<WindowNotice> Wait(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, 10s, [&] { return notices_.size() >= count; });
    return notices_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<WindowNotice> notices_;
};

TEST(WindowSharedState, NoNoticeReachesADetachedWindow) {
  WindowSharedState shared;
  NoticeLog log;
  shared.AttachWindow(log.Sink());
  shared.Post({Kind::kStatus, u"one"});
  shared.DetachWindow();
  shared.Post({Kind::kStatus, u"two"});
  const std::vector<WindowNotice> seen = log.Wait(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, u"one");
}

// A UI thread that has not come round to its queue while a watch is
// written gets one position notice, and the position it then takes is the
// latest; the next block posts again.
TEST(WindowSharedState, ProgressPositionsWaitingForTheWindowAreOneNotice) {
  WindowSharedState shared;
  NoticeLog log;
  shared.AttachWindow(log.Sink());
  shared.Post({Kind::kStatus, u"writing"});
  for (std::uint32_t block = 1; block <= 500; ++block) {
    shared.Post({Kind::kProgressPosition, {}, block});
  }
  shared.Post({Kind::kStatus, u"done"});
  std::vector<WindowNotice> seen = log.Wait(3);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].text, u"writing");
  EXPECT_EQ(seen[1].kind, Kind::kProgressPosition);
  EXPECT_EQ(seen[2].text, u"done");
  EXPECT_EQ(shared.TakeProgressPosition(), 500u);
  shared.Post({Kind::kProgressPosition, {}, 501});
  seen = log.Wait(4);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(shared.TakeProgressPosition(), 501u);
}

TEST(WindowSharedState, DetachWaitsForADeliveryUnderWay) {
  WindowSharedState shared;
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  shared.AttachWindow([&](WindowNotice) {
    entered.set_value();
    released.wait();
  });
  std::thread worker([&] { shared.Post({Kind::kStatus, u"late"}); });
  entered.get_future().wait();

  auto detached = std::async(std::launch::async, [&] { shared.DetachWindow(); });
  EXPECT_EQ(detached.wait_for(200ms), std::future_status::timeout);
  release.set_value();
  EXPECT_EQ(detached.wait_for(10s), std::future_status::ready);
  worker.join();
}

TEST(WindowWorkers, AFirmwareUpdateAlwaysEndsWithRunFinishedAndWritingCleared) {
  struct Case {
    const char* name;
    bool throws;
  };
  for (const Case c : {Case{"returns", false}, Case{"throws", true}}) {
    auto shared = std::make_shared<WindowSharedState>();
    NoticeLog log;
    shared->AttachWindow(log.Sink());
    const bool throws = c.throws;
    ASSERT_TRUE(StartFirmwareUpdateWorker(
        [throws](std::shared_ptr<WindowSharedState> state) {
          EXPECT_TRUE(state->Gate().BeginWriting());
          state->Post({Kind::kStatus, u"writing"});
          if (throws) throw std::runtime_error("line failed");
        },
        shared));
    const std::vector<WindowNotice> seen = log.Wait(2);
    ASSERT_EQ(seen.size(), 2u) << c.name;
    EXPECT_EQ(seen[1].kind, Kind::kRunFinished) << c.name;
    EXPECT_FALSE(shared->Gate().Writing()) << c.name;
    for (int i = 0; i < 1000 && shared->RunningWorkers() != 0; ++i)
      std::this_thread::sleep_for(5ms);
    EXPECT_EQ(shared->RunningWorkers(), 0) << c.name;
    shared->DetachWindow();
  }
}

TEST(WindowWorkers, AWorkerOutlivesTheWindowWithoutReachingIt) {
  auto shared = std::make_shared<WindowSharedState>();
  NoticeLog log;
  shared->AttachWindow(log.Sink());
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_TRUE(StartUpdateCheckWorker(
      [released](std::shared_ptr<WindowSharedState> state) {
        released.wait();
        state->Post({Kind::kStatus, u"after the window"});
      },
      shared));
  EXPECT_EQ(shared->RunningWorkers(), 1);
  shared->DetachWindow();
  std::weak_ptr<WindowSharedState> alive = shared;
  shared.reset();  // the window is gone; the worker keeps the state
  ASSERT_FALSE(alive.expired());
  release.set_value();
  for (int i = 0; i < 1000 && !alive.expired(); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(alive.expired());
  EXPECT_TRUE(log.Wait(0).empty());
}

}  // namespace
}  // namespace kestrune
