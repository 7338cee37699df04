// The engine lock: every call into the engine holds it, recursively for the
// thread that holds it, and the walk of a table makes several calls per
// record, so taking it must cost next to nothing.
//
// Most processes call the engine from one thread only. The first thread to
// take the lock becomes its owner and from then on takes it without any
// atomic read-modify-write: it marks itself inside, then checks that the
// lock is still its own. The first other thread to come ends that for
// good: under the plain lock it marks the owner's claim revoked, makes every
// thread of the process pass a full memory barrier (membarrier), and waits
// until the owner is outside. After the barrier the owner either was seen
// inside or sees the revocation, so the two can never both be in.
// From then on every thread takes the plain lock: a word that is 0 free,
// 1 held, 2 held with threads (possibly) waiting; only a release from 2
// wakes a waiter. Where the barrier is not available, the plain lock is
// used from the start.
#pragma once

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace drmengine {

class EngineLock {
 public:
  [[gnu::always_inline]] void lock() {
    const pthread_t self = pthread_self();
    if (FHolder.load(std::memory_order_relaxed) == self) {
      ++FDepth;
      return;
    }
    if (FClaim.load(std::memory_order_acquire) == kOwned && FOwner == self) {
      FOwnerInside.store(1, std::memory_order_relaxed);
      // Only the compiler is kept from reordering here; the revoking
      // thread's barrier orders the processor.
      std::atomic_signal_fence(std::memory_order_seq_cst);
      if (FClaim.load(std::memory_order_relaxed) == kOwned) {
        Hold(self, true);
        return;
      }
      LeaveOwnerPath();
    }
    LockPlain(self);
  }

  [[gnu::always_inline]] void unlock() {
    if (--FDepth > 0) return;
    FHolder.store(pthread_t{}, std::memory_order_relaxed);
    if (FOwnerPath) {
      FOwnerPath = false;
      LeaveOwnerPath();
      return;
    }
    UnlockPlain();
  }

  // Whether the owner's path is in use (for tests).
  bool OwnedByOneThread() const { return FClaim.load(std::memory_order_relaxed) == kOwned; }

 private:
  enum : int { kUnclaimed = 0, kOwned = 1, kShared = 2 };

  [[gnu::noinline]] void LockPlain(pthread_t self) {
    Acquire();
    SettleClaim(self);
    Hold(self, false);
  }

  [[gnu::noinline]] void UnlockPlain() {
    if (FState.exchange(0, std::memory_order_release) == 2) FState.notify_one();
  }

  void Hold(pthread_t self, bool ownerPath) {
    FHolder.store(self, std::memory_order_relaxed);
    FDepth = 1;
    FOwnerPath = ownerPath;
  }

  void LeaveOwnerPath() {
    FOwnerInside.store(0, std::memory_order_release);
    if (FClaim.load(std::memory_order_relaxed) == kShared) WakeRevoker();
  }

  [[gnu::noinline]] void WakeRevoker() { FOwnerInside.notify_all(); }

  // Under the plain lock: the first thread claims the lock, a later one
  // revokes the claim.
  void SettleClaim(pthread_t self) {
    const int claim = FClaim.load(std::memory_order_relaxed);
    if (claim == kUnclaimed) {
      if (RegisterBarrier()) {
        FOwner = self;
        FClaim.store(kOwned, std::memory_order_release);
      } else {
        FClaim.store(kShared, std::memory_order_relaxed);
      }
    } else if (claim == kOwned && FOwner != self) {
      FClaim.store(kShared, std::memory_order_relaxed);
      Barrier();
      while (FOwnerInside.load(std::memory_order_acquire) != 0) FOwnerInside.wait(1, std::memory_order_acquire);
    }
  }

  static bool RegisterBarrier() {
    return syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  }

  static void Barrier() {
    if (syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0) return;
    // A child made by fork may have to register again.
    if (RegisterBarrier() && syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0) return;
    // Without the barrier the owner could be inside unseen: stopping is the
    // only safe answer, and it cannot happen once registering worked.
    std::fputs("engine: the memory barrier of the engine lock failed\n", stderr);
    std::abort();
  }

  void Acquire() {
    int seen = 0;
    if (FState.compare_exchange_strong(seen, 1, std::memory_order_acquire)) return;
    // Contended: mark the lock as waited for, then sleep until it changes.
    if (seen != 2) seen = FState.exchange(2, std::memory_order_acquire);
    while (seen != 0) {
      FState.wait(2, std::memory_order_relaxed);
      seen = FState.exchange(2, std::memory_order_acquire);
    }
  }

  // The plain lock.
  std::atomic<int> FState{0};
  // The claim and its owner; the owner is written once, before the claim.
  std::atomic<int> FClaim{kUnclaimed};
  pthread_t FOwner{};
  // Set by the owner while it holds the lock on its own path.
  std::atomic<int> FOwnerInside{0};
  // Only the holding thread writes its own id here, and it writes "none"
  // before it lets go, so a thread reads its own id only while it holds
  // the lock.
  std::atomic<pthread_t> FHolder{};
  int FDepth = 0;           // touched only by the holder
  bool FOwnerPath = false;  // touched only by the holder
};

}  // namespace drmengine
