#include "report/report_queue.h"

namespace kestrune {

void ReportQueue::Push(Delivery delivery) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({std::move(delivery), false, {}});
  }
  arrived_.notify_one();
}

void ReportQueue::PushLatest(Key key, Delivery delivery) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.size() >= capacity_) {
      for (auto at = pending_.begin(); at != pending_.end(); ++at) {
        if (at->latestOnly && at->key == key) {
          pending_.erase(at);
          break;
        }
      }
    }
    pending_.push_back({std::move(delivery), true, key});
  }
  arrived_.notify_one();
}

bool ReportQueue::Pop(Delivery& delivery) {
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_.wait(lock, [this] { return closed_ || !pending_.empty(); });
  if (pending_.empty()) return false;
  delivery = std::move(pending_.front().delivery);
  pending_.pop_front();
  return true;
}

void ReportQueue::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  arrived_.notify_all();
}

std::size_t ReportQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_.size();
}

}  // namespace kestrune
