#pragma once
// The one interrupt handler of the process, shared by the platform's signal
// or console-event thread and the thread that ends the program.

#include <functional>

namespace kestrune {

// Makes `handler` the one that DeliverInterrupt calls.
void SetInterruptHandler(std::function<void(int exitCode)> handler);

// Calls the handler, if any, on the calling thread, with the exit code the
// interrupt calls for. Holds the slot while it
// runs, so StopHandlingInterrupts waits for a handler already running.
void DeliverInterrupt(int exitCode);

}  // namespace kestrune
