#pragma once
// The application module: the program's instance, its main thread and the
// registry of message loops per thread.

#include <windows.h>

#include <memory>

#include "app/framework/message_loop_registry.h"

namespace kestrune {

class CMessageLoop;

class CAppModule {
 public:
  // Records the calling thread as the main thread and makes an empty
  // registry.
  void Init(HINSTANCE instance);
  // Deletes the registry.
  void Term();

  HINSTANCE GetResourceInstance() const { return instance_; }
  DWORD MainThreadId() const { return mainThreadId_; }

  void AddMessageLoop(CMessageLoop* loop) { registry_->Add(loop); }
  bool RemoveMessageLoop() { return registry_->Remove(); }
  // The loop of the calling thread, or nullptr.
  CMessageLoop* GetMessageLoop() const { return registry_->Lookup(GetCurrentThreadId()); }

 private:
  HINSTANCE instance_ = nullptr;
  DWORD mainThreadId_ = 0;
  std::unique_ptr<MessageLoopRegistry> registry_;
};

// The one module of the program.
extern CAppModule appModule;

}  // namespace kestrune
