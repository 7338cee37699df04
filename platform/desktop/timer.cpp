#include "platform/desktop/timer.h"

#include "platform/desktop/application.h"

namespace dac {

void TTimer::AfterConstruction() {
  TComponent::AfterConstruction();
  UpdateTimer();
}

void TTimer::SetInterval(uint32_t Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::SetEnabled(bool Value) {
  bool changed = Value != FEnabled;
  FEnabled = Value;
  if (changed || Value) UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (ComponentState().Contains(csDestroying)) return;
  if (!FEnabled || FInterval == 0) {
    if (FHandle) FHandle->Stop();
    return;
  }
  if (!FHandle) FHandle = EventLoop().CreateTimer([this] { Fire(); });
  FHandle->Start(FInterval);
}

void TTimer::Fire() {
  // A failing handler is reported like any failure of a loop event; the
  // timer may be gone by then, so it is not named as the sender.
  try {
    Timer();
  } catch (...) {
    Application()->HandleException(nullptr);
  }
}

void TTimer::Timer() {
  if (!FOnTimer) return;
  // The handler may free this timer: it runs from a copy and nothing of the
  // timer is touched afterwards.
  TNotifyEvent handler = FOnTimer;
  handler(this);
}

void TTimer::Shutdown() {
  FHandle.reset();
  TComponent::Shutdown();
}

}  // namespace dac
