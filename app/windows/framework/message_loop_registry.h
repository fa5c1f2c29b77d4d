#pragma once
// Which message loop runs on which thread, shared by every thread of the
// process and guarded by one lock.

#include <windows.h>

#include <mutex>
#include <vector>

namespace kestrune {

class CMessageLoop;

class MessageLoopRegistry {
 public:
  // Appends (current thread, loop) without looking for an earlier entry.
  void Add(CMessageLoop* loop);
  // Removes the first entry of the current thread; false when it had none.
  bool Remove();
  // The loop of `threadId` (the first registered one), or nullptr.
  CMessageLoop* Lookup(DWORD threadId) const;

 private:
  mutable std::mutex lock_;
  std::vector<DWORD> threads_;
  std::vector<CMessageLoop*> loops_;
};

}  // namespace kestrune
