#pragma once
// The two hooks a window can put into its thread's message loop.

#include <windows.h>

namespace kestrune {

// Sees every message taken from the queue before it is translated and
// dispatched; returns TRUE when it consumed the message.
class CMessageFilter {
 public:
  virtual ~CMessageFilter() = default;
  virtual BOOL PreTranslateMessage(MSG* msg) = 0;
};

// Called when the queue has run dry after a message that re-arms idle work.
class CIdleHandler {
 public:
  virtual ~CIdleHandler() = default;
  virtual BOOL OnIdle() = 0;
};

}  // namespace kestrune
