#include "platform/desktop/event_loop.h"

#include <algorithm>

#include "platform/desktop/service_slot.h"

namespace dac {

class THeadlessEventLoop::THandle : public ITimerHandle {
 public:
  THandle(THeadlessEventLoop* Loop, std::function<void()> OnFire)
      : FLoop(Loop), FOnFire(std::move(OnFire)) {
    FLoop->FTimers.push_back(this);
  }
  ~THandle() override {
    if (FLoop != nullptr) std::erase(FLoop->FTimers, this);
  }

  void Start(uint32_t IntervalMs) override {
    FInterval = IntervalMs;
    FRunning = IntervalMs > 0 && FLoop != nullptr;
    if (FRunning) {
      FDue = FLoop->FNow + IntervalMs;
      FOrder = ++FLoop->FStarts;
    }
  }
  void Stop() override { FRunning = false; }

  THeadlessEventLoop* FLoop;
  std::function<void()> FOnFire;
  uint32_t FInterval = 0;
  bool FRunning = false;
  uint64_t FDue = 0;
  uint64_t FOrder = 0;
};

THeadlessEventLoop::~THeadlessEventLoop() {
  // Timers outliving the loop become inert.
  for (THandle* h : FTimers) {
    h->FLoop = nullptr;
    h->FRunning = false;
  }
}

std::unique_ptr<ITimerHandle> THeadlessEventLoop::CreateTimer(std::function<void()> OnFire) {
  return std::make_unique<THandle>(this, std::move(OnFire));
}

size_t THeadlessEventLoop::RunningTimers() const {
  return static_cast<size_t>(std::count_if(FTimers.begin(), FTimers.end(), [](THandle* h) { return h->FRunning; }));
}

bool THeadlessEventLoop::FireNextDue(uint64_t Limit) {
  THandle* next = nullptr;
  for (THandle* h : FTimers) {
    if (!h->FRunning || h->FDue > Limit) continue;
    if (next == nullptr || h->FDue < next->FDue || (h->FDue == next->FDue && h->FOrder < next->FOrder)) next = h;
  }
  if (next == nullptr) return false;
  FNow = std::max(FNow, next->FDue);
  next->FDue += next->FInterval;
  next->FOrder = ++FStarts;
  // The callback may stop, restart or destroy its own timer (and others):
  // it runs from a copy, and the handle is not touched afterwards.
  std::function<void()> fire = next->FOnFire;
  if (fire) fire();
  return true;
}

void THeadlessEventLoop::AdvanceClock(uint64_t Milliseconds) {
  const uint64_t target = FNow + Milliseconds;
  while (FireNextDue(target)) {
  }
  FNow = target;
}

void THeadlessEventLoop::ProcessMessages() {
  for (size_t n = FPosted.size(); n > 0 && !FPosted.empty(); --n) {
    std::function<void()> work = std::move(FPosted.front());
    FPosted.pop_front();
    if (work) work();
  }
  while (FireNextDue(FNow)) {
  }
}

void THeadlessEventLoop::Post(std::function<void()> Work) { FPosted.push_back(std::move(Work)); }

namespace {

TServiceSlot<IEventLoop, THeadlessEventLoop>& Slot() {
  static TServiceSlot<IEventLoop, THeadlessEventLoop> slot;
  return slot;
}

}  // namespace

IEventLoop& EventLoop() { return Slot().Current(); }

THeadlessEventLoop& HeadlessEventLoop() { return Slot().Headless(); }

std::unique_ptr<IEventLoop> SetEventLoop(std::unique_ptr<IEventLoop> Loop) {
  return Slot().Install(std::move(Loop));
}

}  // namespace dac
