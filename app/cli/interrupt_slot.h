#pragma once
// The one interrupt handler of the process, shared by the platform's signal
// or console-event thread and the thread that ends the program.

#include <functional>

namespace kestrune {

// Makes `handler` the one that DeliverInterrupt calls.
void SetInterruptHandler(std::function<void()> handler);

// Calls the handler, if any, on the calling thread. Holds the slot while it
// runs, so StopHandlingInterrupts waits for a handler already running.
void DeliverInterrupt();

}  // namespace kestrune
