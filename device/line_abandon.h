#pragma once
// Tells the thread that writes a watch that the watch has left the device
// tree: its line is gone, whatever the port still answers. The thread's
// bounded transfers end at once, raising operation_aborted with their word,
// instead of waiting out the answer time-out on a port nobody answers on.
// Signalling never blocks and never touches the port: only the writing
// thread does.

#include <atomic>
#include <memory>

namespace kestrune {

class LineAbandon {
 public:
  LineAbandon();
  ~LineAbandon();
  LineAbandon(const LineAbandon&) = delete;
  LineAbandon& operator=(const LineAbandon&) = delete;

  // From any thread; the first call counts, later ones change nothing.
  void Signal() noexcept;
  bool Signalled() const noexcept { return signalled_.load(); }
  // Where the platform's waits can wait for the signal too (a descriptor
  // that becomes readable on POSIX); -1 where they cannot, and the
  // transfers then look at the flag while they wait (Windows).
  int WaitHandle() const noexcept;

  // While it lives, the bounded transfers of the thread that made it end
  // when `abandon` is signalled.
  class ThreadScope {
   public:
    explicit ThreadScope(LineAbandon& abandon);
    ~ThreadScope();
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;

   private:
    LineAbandon* previous_;
  };

 private:
  struct Wake;  // the platform's part
  std::atomic<bool> signalled_{false};
  std::unique_ptr<Wake> wake_;
};

// The signal of the calling thread's scope; null outside one.
LineAbandon* ThreadLineAbandon() noexcept;

// Raises operation_aborted with `word` when the calling thread's line was
// abandoned.
void RaiseIfLineAbandoned(const char* word);

}  // namespace kestrune
