#pragma once
// The application module: the program's instance and the registry of
// message loops per thread.

#include <windows.h>

#include <memory>

#include "app/windows/framework/message_loop_registry.h"

namespace kestrune {

class CMessageLoop;

class CAppModule {
 public:
  // Records the instance and makes an empty registry; Term deletes it.
  void Init(HINSTANCE instance);
  void Term();

  HINSTANCE GetResourceInstance() const { return instance_; }

  void AddMessageLoop(CMessageLoop* loop) { registry_->Add(loop); }
  bool RemoveMessageLoop() { return registry_->Remove(); }
  // The loop of the calling thread, or nullptr.
  CMessageLoop* GetMessageLoop() const { return registry_->Lookup(GetCurrentThreadId()); }

 private:
  HINSTANCE instance_ = nullptr;
  std::unique_ptr<MessageLoopRegistry> registry_;
};

// The one module of the program.
extern CAppModule appModule;

}  // namespace kestrune
