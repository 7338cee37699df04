#pragma once
// TTimer: a component that fires OnTimer every Interval milliseconds on the
// main thread, through the installed message loop.

#include <cstdint>
#include <memory>

#include "platform/desktop/event_loop.h"
#include "platform/rtl/component.h"

namespace dac {

class TTimer : public TComponent {
 public:
  TTimer() = default;
  void AfterConstruction() override;

  uint32_t Interval() const { return FInterval; }
  // A changed interval restarts the count; 0 stops the timer.
  void SetInterval(uint32_t Value);
  bool Enabled() const { return FEnabled; }
  // True (again) restarts the count from now; false stops it.
  void SetEnabled(bool Value);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent Value) { FOnTimer = std::move(Value); }

 protected:
  // Fires OnTimer. The handler may free this timer.
  virtual void Timer();
  void Shutdown() override;

 private:
  void UpdateTimer();
  void Fire();

  uint32_t FInterval = 1000;
  bool FEnabled = true;
  TNotifyEvent FOnTimer;
  std::unique_ptr<ITimerHandle> FHandle;
};

}  // namespace dac
