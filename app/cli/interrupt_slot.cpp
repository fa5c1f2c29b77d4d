#include "app/cli/interrupt_slot.h"

#include <mutex>
#include <utility>

#include "app/cli/console.h"

namespace kestrune {
namespace {

struct InterruptSlot {
  std::mutex mutex;
  std::function<void(int)> handler;
};

// Never destroyed: an interrupt may come while the process's statics are
// being torn down.
InterruptSlot& Slot() {
  static InterruptSlot* const slot = new InterruptSlot;
  return *slot;
}

}  // namespace

void SetInterruptHandler(std::function<void(int)> handler) {
  std::lock_guard<std::mutex> lock(Slot().mutex);
  Slot().handler = std::move(handler);
}

void DeliverInterrupt(int exitCode) {
  std::lock_guard<std::mutex> lock(Slot().mutex);
  if (Slot().handler) Slot().handler(exitCode);
}

void StopHandlingInterrupts() { SetInterruptHandler(nullptr); }

}  // namespace kestrune
