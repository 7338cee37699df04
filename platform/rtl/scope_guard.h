#pragma once
// The one clean-up idiom of this code base: a guard object whose destructor
// runs the clean-up when the scope ends, normally or by an exception.
//
//   Lock();
//   Finally unlock([&] { Unlock(); });
//   ...work that may throw...
//
// Clean-up never throws. A guard's destructor is noexcept; a failure inside
// the clean-up is handed to the clean-up failure handler (by default it is
// dropped) and the rest of the unwinding goes on. Where the clean-up's own
// failure must reach the caller on the normal path, call Run() at the end
// of the scope: it runs the clean-up once, lets its exception propagate, and
// disarms the guard.

#include <exception>
#include <functional>
#include <utility>

namespace dac {

// Receives every exception that a guard's clean-up raised and could not
// propagate. Installing null restores the default, which drops it.
using TCleanupFailureHandler = std::function<void(std::exception_ptr)>;
TCleanupFailureHandler SetCleanupFailureHandler(TCleanupFailureHandler Handler);
// Calls the installed handler with the current exception; never throws.
void ReportCleanupFailure() noexcept;

template <class F>
class [[nodiscard]] Finally {
 public:
  explicit Finally(F Action) : FAction(std::move(Action)) {}
  ~Finally() noexcept {
    if (!FArmed) return;
    try {
      FAction();
    } catch (...) {
      ReportCleanupFailure();
    }
  }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

  // Keeps the clean-up from running.
  void Dismiss() noexcept { FArmed = false; }
  // Runs the clean-up now, once; its exception propagates.
  void Run() {
    if (!FArmed) return;
    FArmed = false;
    FAction();
  }

 private:
  F FAction;
  bool FArmed = true;
};

// Brackets BeginUpdate/EndUpdate on anything that has them (string lists,
// collections, definitions): the bracket closes however the scope ends.
template <class T>
class [[nodiscard]] TUpdateScope {
 public:
  explicit TUpdateScope(T* Target) : FTarget(Target) { FTarget->BeginUpdate(); }
  ~TUpdateScope() noexcept {
    try {
      FTarget->EndUpdate();
    } catch (...) {
      ReportCleanupFailure();
    }
  }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

 private:
  T* FTarget;
};

// Runs every step in order even when earlier ones raise, then raises the
// first failure. For shutdown sequences whose steps are independent.
template <class... Steps>
void RunAll(Steps&&... steps) {
  std::exception_ptr first;
  auto step = [&first](auto& s) {
    try {
      s();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  };
  (step(steps), ...);
  if (first) std::rethrow_exception(first);
}

// Runs Step, dropping (reporting) any failure: for clean-up outside a guard.
template <class Step>
void CleanupStep(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
    ReportCleanupFailure();
  }
}

}  // namespace dac
