#pragma once
// One thread that delivers the reports of a ReportQueue, one after another:
// the one place a program's reports are shown or written, so the threads
// that make them (a watch's writing thread among them) never wait for a
// stopped terminal, a full pipe or a held file lock.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "report/report_queue.h"

namespace kestrune {

// Reports a drain holds before progress steps start replacing each other.
inline constexpr std::size_t kReportQueueCapacity = 256;

class ReportDrain {
 public:
  explicit ReportDrain(std::size_t capacity = kReportQueueCapacity);
  // Delivers what is pending and ends the thread, waiting for it at most
  // `kEndWait`; a thread still stuck in a delivery then (a terminal stopped
  // for good) is left to its end, holding the queue it works on.
  ~ReportDrain();
  ReportDrain(const ReportDrain&) = delete;
  ReportDrain& operator=(const ReportDrain&) = delete;

  static constexpr std::chrono::milliseconds kEndWait{1000};

  // Never wait for the delivering thread (see ReportQueue).
  void Push(ReportQueue::Delivery delivery);
  void PushLatest(ReportQueue::Key key, ReportQueue::Delivery delivery);

  // Waits until everything pushed before the call has been delivered, at
  // most `bound`; true when it has.
  bool WaitUntilDelivered(std::chrono::milliseconds bound);

  // Reports pending.
  std::size_t Pending() const { return state_->queue.Size(); }

 private:
  struct State {
    explicit State(std::size_t capacity) : queue(capacity) {}
    ReportQueue queue;
    std::mutex mutex;
    std::condition_variable ended;
    bool threadEnded = false;
  };

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace kestrune
