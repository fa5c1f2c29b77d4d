#pragma once
// The UI-update base. Its update map is empty: it only remembers the child
// window containers that register with it and changes nothing on screen.

#include <windows.h>

#include <vector>

namespace kestrune {

template <class T>
class CUpdateUI {
 public:
  void UIAddChildWindowContainer(HWND window) { containers_.push_back(window); }

 private:
  std::vector<HWND> containers_;
};

}  // namespace kestrune
