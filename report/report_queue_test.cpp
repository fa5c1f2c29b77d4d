#include "report/report_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "report/report_drain.h"

namespace kestrune {
namespace {

using namespace std::chrono_literals;

// What the queue delivers, in the order it delivers it.
struct Delivered {
  std::vector<std::string> items;
  ReportQueue::Delivery Of(const std::string& item) {
    return [this, item] { items.push_back(item); };
  }
};

void PopAll(ReportQueue& queue) {
  queue.Close();
  ReportQueue::Delivery delivery;
  while (queue.Pop(delivery)) delivery();
}

// The last delivered item that starts with `prefix`.
std::string LastOf(const std::vector<std::string>& items, const std::string& prefix) {
  for (auto at = items.rbegin(); at != items.rend(); ++at) {
    if (at->rfind(prefix, 0) == 0) return *at;
  }
  return {};
}

const int kOwner = 0;
const ReportQueue::Key kWatchA{&kOwner, 0};
const ReportQueue::Key kWatchB{&kOwner, 1};

TEST(ReportQueue, BelowItsCapacityEveryReportIsDeliveredInOrder) {
  ReportQueue queue(16);
  Delivered delivered;
  queue.Push(delivered.Of("status A"));
  queue.PushLatest(kWatchA, delivered.Of("A 1"));
  queue.PushLatest(kWatchA, delivered.Of("A 2"));
  queue.PushLatest(kWatchB, delivered.Of("B 1"));
  queue.Push(delivered.Of("status B"));
  queue.PushLatest(kWatchA, delivered.Of("A 3"));
  PopAll(queue);
  EXPECT_EQ(delivered.items,
            (std::vector<std::string>{"status A", "A 1", "A 2", "B 1", "status B", "A 3"}));
}

// Nobody takes anything (a stopped terminal) while two watches report
// every block: the queue stays bounded, keeps every status in order, and
// ends with each watch's latest step after the statuses made before it.
TEST(ReportQueue, AtItsCapacityProgressStepsReplaceTheirWatchsPendingOneAndStatusesStay) {
  const std::size_t capacity = 8;
  ReportQueue queue(capacity);
  Delivered delivered;
  std::vector<std::string> statuses;
  for (int block = 1; block <= 1000; ++block) {
    queue.PushLatest(kWatchA, delivered.Of("A " + std::to_string(block)));
    queue.PushLatest(kWatchB, delivered.Of("B " + std::to_string(block)));
    if (block % 100 == 0) {
      statuses.push_back("status " + std::to_string(block));
      queue.Push(delivered.Of(statuses.back()));
    }
    // Beyond the capacity only the statuses and one step per watch.
    ASSERT_LE(queue.Size(), capacity + statuses.size() + 2) << "after block " << block;
  }
  PopAll(queue);
  std::vector<std::string> deliveredStatuses;
  for (const std::string& item : delivered.items) {
    if (item.rfind("status", 0) == 0) deliveredStatuses.push_back(item);
  }
  EXPECT_EQ(deliveredStatuses, statuses);
  EXPECT_EQ(LastOf(delivered.items, "A "), "A 1000");
  EXPECT_EQ(LastOf(delivered.items, "B "), "B 1000");
  // Each watch's steps still come in the order they were made.
  int lastA = 0;
  int lastB = 0;
  for (const std::string& item : delivered.items) {
    if (item.rfind("status", 0) == 0) continue;
    int& last = item[0] == 'A' ? lastA : lastB;
    const int block = std::stoi(item.substr(2));
    EXPECT_GT(block, last) << item;
    last = block;
  }
}

// A status pushed at capacity is never what gets dropped, nor does it
// replace anything.
TEST(ReportQueue, StatusesAreNeverDroppedEvenWhenOnlyStatusesFillIt) {
  ReportQueue queue(2);
  Delivered delivered;
  for (int i = 0; i < 50; ++i) queue.Push(delivered.Of("status " + std::to_string(i)));
  queue.PushLatest(kWatchA, delivered.Of("A 1"));
  queue.PushLatest(kWatchA, delivered.Of("A 2"));
  EXPECT_EQ(queue.Size(), 51u);
  PopAll(queue);
  ASSERT_EQ(delivered.items.size(), 51u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(delivered.items[i], "status " + std::to_string(i));
  EXPECT_EQ(delivered.items.back(), "A 2");
}

// The one reader is stuck in a delivery (a write to a stopped terminal):
// another thread's reports go in at once, and are delivered, in order,
// once the reader is free again.
TEST(ReportDrain, PushingNeverWaitsForADeliveryThatHangs) {
  std::mutex mutex;
  std::condition_variable released;
  bool free = false;
  Delivered delivered;  // only the drain's thread touches it
  ReportDrain drain(4);
  drain.Push([&] {
    std::unique_lock<std::mutex> lock(mutex);
    released.wait(lock, [&] { return free; });
  });
  std::chrono::steady_clock::duration longestPush{};
  std::thread writer([&] {
    for (int block = 1; block <= 2000; ++block) {
      const auto before = std::chrono::steady_clock::now();
      drain.PushLatest(kWatchA, delivered.Of("A " + std::to_string(block)));
      if (block % 500 == 0) drain.Push(delivered.Of("status " + std::to_string(block)));
      longestPush = std::max(longestPush, std::chrono::steady_clock::now() - before);
    }
  });
  writer.join();
  EXPECT_LT(longestPush, 100ms);
  EXPECT_FALSE(drain.WaitUntilDelivered(50ms));
  {
    std::lock_guard<std::mutex> lock(mutex);
    free = true;
  }
  released.notify_all();
  ASSERT_TRUE(drain.WaitUntilDelivered(5s));
  std::vector<std::string> statuses;
  for (const std::string& item : delivered.items) {
    if (item.rfind("status", 0) == 0) statuses.push_back(item);
  }
  EXPECT_EQ(statuses,
            (std::vector<std::string>{"status 500", "status 1000", "status 1500", "status 2000"}));
  EXPECT_EQ(LastOf(delivered.items, "A "), "A 2000");
  EXPECT_LE(delivered.items.size(), 4u + statuses.size());
}

// A delivery that throws is dropped; the ones after it still come.
TEST(ReportDrain, AReportThatThrowsDoesNotStopTheOthers) {
  Delivered delivered;
  ReportDrain drain;
  drain.Push(delivered.Of("first"));
  drain.Push([] { throw std::runtime_error("cannot show it"); });
  drain.Push(delivered.Of("third"));
  ASSERT_TRUE(drain.WaitUntilDelivered(5s));
  EXPECT_EQ(delivered.items, (std::vector<std::string>{"first", "third"}));
}

}  // namespace
}  // namespace kestrune
