#pragma once
// How many workers of a window still run: counted in before a worker's
// thread starts and out when it ends, so that the program knows at its end
// whether one may still use what the process's exit destroys.

#include <atomic>

namespace kestrune {

class WorkerCount {
 public:
  void Started() { running_.fetch_add(1); }
  void Ended() { running_.fetch_sub(1); }
  int Running() const { return running_.load(); }

 private:
  std::atomic<int> running_{0};
};

}  // namespace kestrune
