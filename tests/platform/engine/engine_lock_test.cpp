// The engine lock on its own: the first thread takes it without atomic
// read-modify-writes until a second thread comes; the hand-over from that
// path to the plain lock must never let two threads in at once.
#include "platform/engine/engine_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using drmengine::EngineLock;

TEST(EngineLockTest, OneThreadOwnsItRecursively) {
  EngineLock lock;
  lock.lock();
  lock.lock();  // the same thread again
  lock.unlock();
  lock.unlock();
  lock.lock();
  lock.unlock();
  EXPECT_TRUE(lock.OwnedByOneThread());
  std::thread other([&] {
    std::lock_guard<EngineLock> guard(lock);
  });
  other.join();
  EXPECT_FALSE(lock.OwnedByOneThread());
  std::lock_guard<EngineLock> guard(lock);  // the former owner takes the plain lock
}

// Threads count through a plain (non-atomic) counter under the lock while
// the owner is busy on its own path: a second thread inside at the same
// time would lose counts. Each round starts with a new lock, so that the
// hand-over itself is raced many times.
TEST(EngineLockTest, TheHandOverNeverLetsTwoThreadsIn) {
  constexpr int kRounds = 200;
  constexpr int kPerThread = 2000;
  constexpr int kOthers = 2;
  for (int round = 0; round < kRounds; ++round) {
    EngineLock lock;
    long counter = 0;
    lock.lock();  // this thread claims it
    lock.unlock();
    std::atomic<int> started{0};
    std::vector<std::thread> others;
    for (int t = 0; t < kOthers; ++t)
      others.emplace_back([&] {
        started.fetch_add(1);
        for (int i = 0; i < kPerThread; ++i) {
          std::lock_guard<EngineLock> guard(lock);
          counter = counter + 1;
        }
      });
    for (int i = 0; i < kPerThread; ++i) {
      std::lock_guard<EngineLock> guard(lock);
      const long seen = counter;
      if (i % 64 == 0) std::this_thread::yield();  // linger inside now and then
      counter = seen + 1;
    }
    for (auto& t : others) t.join();
    ASSERT_EQ(counter, long{kPerThread} * (kOthers + 1)) << "round " << round;
    ASSERT_EQ(started.load(), kOthers);
  }
}

}  // namespace
