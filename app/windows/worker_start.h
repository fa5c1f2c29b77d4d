#pragma once
// Starting a worker thread into the dialog's thread slot.

#include <boost/thread/exceptions.hpp>
#include <boost/thread/thread.hpp>

namespace kestrune {

// Starts `body` on a new thread and moves it into `slot`. Whatever thread
// the slot held is released (detached) first, never waited for: a thread
// object that still refers to a running thread must not be overwritten.
// False, with the slot untouched, when the system cannot start a thread.
template <class Body>
bool StartWorker(boost::thread& slot, Body body) {
  try {
    boost::thread worker(body);
    if (slot.joinable()) slot.detach();
    slot = boost::move(worker);
    return true;
  } catch (const boost::thread_resource_error&) {
    return false;
  }
}

}  // namespace kestrune
