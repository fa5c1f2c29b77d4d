#pragma once
// The hand-off of reports (statuses, progress, log lines, notices) from the
// threads that make them, a watch's writing thread among them, to the one
// thread that shows or writes them. Pushing never waits for that thread:
// the queue's lock is held only to add or take an element, never while a
// report is delivered.
//
// The queue is bounded where it can be: once it holds `capacity` reports, a
// report of which only the latest counts (a progress position) takes the
// place of the one pending under the same key instead of adding to it.
// Every other report (a status, a result, a log line) is always kept, in
// order: a run makes few of them, so a stopped reader costs memory only for
// those, never for its thousands of progress steps.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <utility>

namespace kestrune {

class ReportQueue {
 public:
  // Runs on the delivering thread.
  using Delivery = std::function<void()>;
  // What a latest-only report replaces: its owner and a slot of it (a
  // watch's row).
  using Key = std::pair<const void*, std::size_t>;

  explicit ReportQueue(std::size_t capacity) : capacity_(capacity) {}

  // Adds a report that must be delivered.
  void Push(Delivery delivery);
  // Adds a report of which only the latest under `key` counts. Below the
  // capacity it is added like any other; at or above it, the pending one
  // under `key` (if any) is dropped and this one is added at the end, so
  // what is delivered stays in the order it was made.
  void PushLatest(Key key, Delivery delivery);

  // Takes the oldest report into `delivery`, waiting for one as long as the
  // queue is open; false once it is closed and empty.
  bool Pop(Delivery& delivery);
  // From now on Pop does not wait: it takes what is left, then says false.
  void Close();

  // Reports pending.
  std::size_t Size() const;

 private:
  struct Pending {
    Delivery delivery;
    bool latestOnly;
    Key key;
  };

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::list<Pending> pending_;
  bool closed_ = false;
};

}  // namespace kestrune
