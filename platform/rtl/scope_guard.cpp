#include "platform/rtl/scope_guard.h"

#include <mutex>

namespace dac {

namespace {
std::mutex& HandlerMutex() {
  static std::mutex m;
  return m;
}
TCleanupFailureHandler& Handler() {
  static TCleanupFailureHandler h;
  return h;
}
}  // namespace

TCleanupFailureHandler SetCleanupFailureHandler(TCleanupFailureHandler NewHandler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  TCleanupFailureHandler old = std::move(Handler());
  Handler() = std::move(NewHandler);
  return old;
}

void ReportCleanupFailure() noexcept {
  try {
    TCleanupFailureHandler h;
    {
      std::lock_guard<std::mutex> lock(HandlerMutex());
      h = Handler();
    }
    if (h) h(std::current_exception());
  } catch (...) {
    // A handler that fails has nowhere left to report to.
  }
}

}  // namespace dac
