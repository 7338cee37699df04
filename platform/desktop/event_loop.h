#pragma once
// The application's message loop as the layer needs it: processing pending
// messages, posting work to the main thread, and timers that fire on it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace dac {

// A timer of the message loop. Destroying it stops it; it may be destroyed
// from inside its own callback.
class ITimerHandle {
 public:
  virtual ~ITimerHandle() = default;
  // Starts counting from now, or restarts a running count. The callback
  // fires every IntervalMs milliseconds until Stop. An interval of 0 stops.
  virtual void Start(uint32_t IntervalMs) = 0;
  virtual void Stop() = 0;
};

class IEventLoop {
 public:
  virtual ~IEventLoop() = default;
  // Handles what is pending now (repaints, input, posted work, due timers)
  // and returns.
  virtual void ProcessMessages() = 0;
  // Runs Work later on the main thread, from the loop.
  virtual void Post(std::function<void()> Work) = 0;
  virtual std::unique_ptr<ITimerHandle> CreateTimer(std::function<void()> OnFire) = 0;
};

// The headless default: a clock that only moves when told to. Time passes
// through AdvanceClock, which fires the timers falling due on the way in the
// order of their due times, as an idle message loop would.
class THeadlessEventLoop : public IEventLoop {
 public:
  THeadlessEventLoop() = default;
  THeadlessEventLoop(const THeadlessEventLoop&) = delete;
  THeadlessEventLoop& operator=(const THeadlessEventLoop&) = delete;
  ~THeadlessEventLoop() override;

  // Runs the work posted before the call (work posted meanwhile waits for
  // the next call), then the timers due at the current time.
  void ProcessMessages() override;
  void Post(std::function<void()> Work) override;
  std::unique_ptr<ITimerHandle> CreateTimer(std::function<void()> OnFire) override;

  // Milliseconds since the loop was made.
  uint64_t Now() const { return FNow; }
  void AdvanceClock(uint64_t Milliseconds);
  size_t PendingWork() const { return FPosted.size(); }
  size_t RunningTimers() const;

 private:
  class THandle;
  friend class THandle;
  // Fires the earliest timer due at or before Limit; false when none is.
  bool FireNextDue(uint64_t Limit);

  uint64_t FNow = 0;
  uint64_t FStarts = 0;  // orders timers falling due at the same moment
  std::vector<THandle*> FTimers;
  std::deque<std::function<void()>> FPosted;
};

// The installed loop.
IEventLoop& EventLoop();
// The headless loop, which is in use while nothing else is installed.
THeadlessEventLoop& HeadlessEventLoop();

// Installs a loop process-wide and returns the one it replaces (null while
// the headless default was in use). Null goes back to the default. Timers
// keep the loop they were made with; install the loop before making any.
std::unique_ptr<IEventLoop> SetEventLoop(std::unique_ptr<IEventLoop> Loop);

}  // namespace dac
