#include "device/line_abandon.h"

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

namespace kestrune {
namespace {

thread_local LineAbandon* currentAbandon = nullptr;

}  // namespace

LineAbandon::ThreadScope::ThreadScope(LineAbandon& abandon) : previous_(currentAbandon) {
  currentAbandon = &abandon;
}

LineAbandon::ThreadScope::~ThreadScope() { currentAbandon = previous_; }

LineAbandon* ThreadLineAbandon() noexcept { return currentAbandon; }

void RaiseIfLineAbandoned(const char* word) {
  if (currentAbandon != nullptr && currentAbandon->Signalled()) {
    throw boost::system::system_error(boost::asio::error::operation_aborted, word);
  }
}

}  // namespace kestrune
