#include "report/report_drain.h"

#include <utility>

namespace kestrune {

ReportDrain::ReportDrain(std::size_t capacity) : state_(std::make_shared<State>(capacity)) {
  // The thread holds the state, so a thread left stuck in a delivery at the
  // end never works on a queue that has gone.
  thread_ = std::thread([state = state_] {
    ReportQueue::Delivery delivery;
    while (state->queue.Pop(delivery)) {
      try {
        delivery();
      } catch (...) {
        // A report that cannot be shown is dropped; the next one goes on.
      }
      delivery = nullptr;
    }
    std::lock_guard<std::mutex> lock(state->mutex);
    state->threadEnded = true;
    state->ended.notify_all();
  });
}

ReportDrain::~ReportDrain() {
  state_->queue.Close();
  std::unique_lock<std::mutex> lock(state_->mutex);
  const bool ended = state_->ended.wait_for(lock, kEndWait, [this] { return state_->threadEnded; });
  lock.unlock();
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void ReportDrain::Push(ReportQueue::Delivery delivery) { state_->queue.Push(std::move(delivery)); }

void ReportDrain::PushLatest(ReportQueue::Key key, ReportQueue::Delivery delivery) {
  state_->queue.PushLatest(key, std::move(delivery));
}

bool ReportDrain::WaitUntilDelivered(std::chrono::milliseconds bound) {
  struct Mark {
    std::mutex mutex;
    std::condition_variable reached;
    bool done = false;
  };
  const auto mark = std::make_shared<Mark>();
  Push([mark] {
    std::lock_guard<std::mutex> lock(mark->mutex);
    mark->done = true;
    mark->reached.notify_all();
  });
  std::unique_lock<std::mutex> lock(mark->mutex);
  return mark->reached.wait_for(lock, bound, [&mark] { return mark->done; });
}

}  // namespace kestrune
