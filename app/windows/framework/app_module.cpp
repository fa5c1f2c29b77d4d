#include "app/windows/framework/app_module.h"

namespace kestrune {

CAppModule appModule;

void CAppModule::Init(HINSTANCE instance) {
  instance_ = instance;
  registry_ = std::make_unique<MessageLoopRegistry>();
}

void CAppModule::Term() { registry_.reset(); }

}  // namespace kestrune
