#include "app/windows/framework/message_loop_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/windows/framework/message_loop.h"

namespace kestrune {
namespace {

DWORD ThreadIdOfAnotherThread() {
  DWORD id = 0;
  std::thread([&] { id = GetCurrentThreadId(); }).join();
  return id;
}

TEST(MessageLoopRegistryTest, LooksUpTheLoopOfEachThread) {
  MessageLoopRegistry registry;
  CMessageLoop mine, theirs;
  DWORD theirThread = 0;
  registry.Add(&mine);
  std::thread([&] {
    theirThread = GetCurrentThreadId();
    registry.Add(&theirs);
  }).join();

  EXPECT_EQ(registry.Lookup(GetCurrentThreadId()), &mine);
  EXPECT_EQ(registry.Lookup(theirThread), &theirs);
}

TEST(MessageLoopRegistryTest, ThreadWithoutLoopYieldsNone) {
  MessageLoopRegistry registry;
  EXPECT_EQ(registry.Lookup(GetCurrentThreadId()), nullptr);
  CMessageLoop loop;
  registry.Add(&loop);
  EXPECT_EQ(registry.Lookup(ThreadIdOfAnotherThread()), nullptr);
}

TEST(MessageLoopRegistryTest, RemoveTakesOnlyTheCurrentThreadsFirstEntry) {
  MessageLoopRegistry registry;
  CMessageLoop first, second, other;
  DWORD otherThread = 0;
  registry.Add(&first);
  std::thread([&] {
    otherThread = GetCurrentThreadId();
    registry.Add(&other);
  }).join();
  registry.Add(&second);

  EXPECT_TRUE(registry.Remove());
  EXPECT_EQ(registry.Lookup(GetCurrentThreadId()), &second);
  EXPECT_EQ(registry.Lookup(otherThread), &other);
  EXPECT_TRUE(registry.Remove());
  EXPECT_EQ(registry.Lookup(GetCurrentThreadId()), nullptr);
  EXPECT_FALSE(registry.Remove());
  EXPECT_EQ(registry.Lookup(otherThread), &other);
}

TEST(MessageLoopRegistryTest, ThreadsAddLookUpAndRemoveConcurrently) {
  MessageLoopRegistry registry;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      CMessageLoop loop;
      for (int i = 0; i < 2000; ++i) {
        registry.Add(&loop);
        if (registry.Lookup(GetCurrentThreadId()) != &loop) ++wrong;
        if (!registry.Remove()) ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(registry.Remove());
}

}  // namespace
}  // namespace kestrune
