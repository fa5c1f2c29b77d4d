#include "app/windows/worker_start.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace kestrune {
namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::atomic<bool>& flag) {
  for (int i = 0; i < 500 && !flag; ++i) std::this_thread::sleep_for(10ms);
  return flag;
}

TEST(WorkerStartTest, ReplacingARunningWorkerLeavesItRunningToItsEnd) {
  std::atomic<bool> release{false}, firstDone{false}, secondDone{false};
  boost::thread slot;
  ASSERT_TRUE(StartWorker(slot, [&] {
    while (!release) std::this_thread::sleep_for(1ms);
    firstDone = true;
  }));
  // The first worker is still running when the slot is taken over.
  ASSERT_TRUE(StartWorker(slot, [&] { secondDone = true; }));
  release = true;
  EXPECT_TRUE(WaitFor(firstDone));
  EXPECT_TRUE(WaitFor(secondDone));
  slot.join();
}

// The system's refusal to start a thread cannot be provoked on demand here
// (Wine grants even absurd stack sizes), so the body's copy into the new
// thread raises the error boost::thread raises when the system refuses.
struct RefusedBody {
  std::atomic<bool>* ran;
  explicit RefusedBody(std::atomic<bool>* ran) : ran(ran) {}
  RefusedBody(const RefusedBody&) { throw boost::thread_resource_error(); }
  void operator()() const { *ran = true; }
};

TEST(WorkerStartTest, AThreadThatCannotStartIsReportedAndLeavesTheSlotAlone) {
  std::atomic<bool> ran{false}, release{false};
  boost::thread slot;
  ASSERT_TRUE(StartWorker(slot, [&] {
    while (!release) std::this_thread::sleep_for(1ms);
  }));
  const boost::thread::id held = slot.get_id();

  EXPECT_FALSE(StartWorker(slot, RefusedBody(&ran)));
  EXPECT_EQ(slot.get_id(), held);
  EXPECT_TRUE(slot.joinable());
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(ran);
  release = true;
  slot.join();
}

}  // namespace
}  // namespace kestrune
