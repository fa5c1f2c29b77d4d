#include "app/windows/framework/message_loop.h"

#include <algorithm>

namespace kestrune {

namespace {

template <class T>
bool RemoveFirst(std::vector<T*>& items, T* item) {
  auto found = std::find(items.begin(), items.end(), item);
  if (found == items.end()) return false;
  items.erase(found);
  return true;
}

constexpr UINT kSystemTimer = 0x0118;

}  // namespace

void CMessageLoop::AddMessageFilter(CMessageFilter* filter) { filters_.push_back(filter); }

bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) {
  return RemoveFirst(filters_, filter);
}

void CMessageLoop::AddIdleHandler(CIdleHandler* handler) { idleHandlers_.push_back(handler); }

bool CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) {
  return RemoveFirst(idleHandlers_, handler);
}

bool CMessageLoop::ReArmsIdle(UINT message) {
  return message != WM_MOUSEMOVE && message != WM_NCMOUSEMOVE && message != WM_PAINT &&
         message != kSystemTimer;
}

int CMessageLoop::Run() {
  bool idle = true;
  int idleCount = 0;
  for (;;) {
    while (idle && !PeekMessageW(&msg_, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idleCount++)) idle = false;
    }
    BOOL got = GetMessageW(&msg_, nullptr, 0, 0);
    if (got == -1) continue;
    if (!got) break;
    if (!PreTranslateMessage(&msg_)) {
      TranslateMessage(&msg_);
      DispatchMessageW(&msg_);
    }
    if (ReArmsIdle(msg_.message)) {
      idle = true;
      idleCount = 0;
    }
  }
  return static_cast<int>(msg_.wParam);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* msg) {
  // A filter may remove itself while it runs, so walk by index.
  for (auto i = filters_.size(); i-- > 0;) {
    if (i < filters_.size() && filters_[i]->PreTranslateMessage(msg)) return TRUE;
  }
  return FALSE;
}

BOOL CMessageLoop::OnIdle(int /*idleCount*/) {
  for (std::size_t i = 0; i < idleHandlers_.size(); ++i) idleHandlers_[i]->OnIdle();
  return FALSE;
}

}  // namespace kestrune
