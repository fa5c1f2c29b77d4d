#include "app/windows/framework/message_loop_registry.h"

#include <algorithm>
#include <iterator>

namespace kestrune {

void MessageLoopRegistry::Add(CMessageLoop* loop) {
  std::lock_guard<std::mutex> guard(lock_);
  threads_.push_back(GetCurrentThreadId());
  loops_.push_back(loop);
}

bool MessageLoopRegistry::Remove() {
  std::lock_guard<std::mutex> guard(lock_);
  auto found = std::find(threads_.begin(), threads_.end(), GetCurrentThreadId());
  if (found == threads_.end()) return false;
  auto index = std::distance(threads_.begin(), found);
  threads_.erase(found);
  loops_.erase(loops_.begin() + index);
  return true;
}

CMessageLoop* MessageLoopRegistry::Lookup(DWORD threadId) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto found = std::find(threads_.begin(), threads_.end(), threadId);
  if (found == threads_.end()) return nullptr;
  return loops_[std::distance(threads_.begin(), found)];
}

}  // namespace kestrune
