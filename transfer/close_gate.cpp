#include "transfer/close_gate.h"

namespace kestrune {

bool CloseGate::BeginWriting() {
  std::lock_guard<std::mutex> guard(lock_);
  if (closeRequested_) return false;
  writing_ = true;
  return true;
}

void CloseGate::EndWriting() {
  std::lock_guard<std::mutex> guard(lock_);
  writing_ = false;
}

bool CloseGate::RequestClose() {
  std::lock_guard<std::mutex> guard(lock_);
  closeRequested_ = true;
  return !writing_;
}

bool CloseGate::CloseRequested() const {
  std::lock_guard<std::mutex> guard(lock_);
  return closeRequested_;
}

bool CloseGate::Writing() const {
  std::lock_guard<std::mutex> guard(lock_);
  return writing_;
}

}  // namespace kestrune
