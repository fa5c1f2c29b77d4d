#pragma once
// The UI thread's message loop with its message filters and idle handlers.

#include <windows.h>

#include <vector>

#include "app/windows/framework/message_hooks.h"

namespace kestrune {

class CMessageLoop {
 public:
  virtual ~CMessageLoop() = default;

  // The loop neither takes nor frees the hooks; removing one reports
  // whether it was there.
  void AddMessageFilter(CMessageFilter* filter);
  bool RemoveMessageFilter(CMessageFilter* filter);
  void AddIdleHandler(CIdleHandler* handler);
  bool RemoveIdleHandler(CIdleHandler* handler);

  // Runs until the quit message arrives; returns its exit code.
  int Run();

  // Messages that arrive all the time (mouse moves, paints, the system
  // timer) and therefore must not start another round of idle work.
  static bool ReArmsIdle(UINT message);

 protected:
  // Asks the filters, the last added first; TRUE when one consumed it.
  virtual BOOL PreTranslateMessage(MSG* msg);
  // Calls every idle handler in order of addition; always FALSE, so idle
  // work runs once per re-arming message.
  virtual BOOL OnIdle(int idleCount);

 private:
  std::vector<CMessageFilter*> filters_;
  std::vector<CIdleHandler*> idleHandlers_;
  MSG msg_{};
};

}  // namespace kestrune
