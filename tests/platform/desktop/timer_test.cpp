#include "platform/desktop/timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/desktop/application.h"
#include "platform/desktop/event_loop.h"
#include "platform/rtl/exceptions.h"

namespace dac {
namespace {

// Timers here run on the headless loop, whose clock only the test moves.
class HeadlessTimer : public ::testing::Test {
 protected:
  THeadlessEventLoop& Loop() { return HeadlessEventLoop(); }
  TFreePtr<TTimer> MakeTimer(uint32_t interval, std::vector<uint64_t>& fired) {
    auto timer = CreateUnowned<TTimer>();
    timer->SetOnTimer([this, &fired](TObject*) { fired.push_back(Loop().Now()); });
    timer->SetInterval(interval);
    return timer;
  }
};

TEST_F(HeadlessTimer, FiresWhenTheClockPassesEachInterval) {
  std::vector<uint64_t> fired;
  uint64_t t0 = Loop().Now();
  auto timer = MakeTimer(100, fired);
  Loop().AdvanceClock(99);
  EXPECT_TRUE(fired.empty());
  Loop().AdvanceClock(1);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0], t0 + 100);
  // One long step fires every period on the way, at its own time.
  Loop().AdvanceClock(350);
  ASSERT_EQ(fired.size(), 4u);
  EXPECT_EQ(fired[3], t0 + 400);
  timer->SetEnabled(false);
  Loop().AdvanceClock(1000);
  EXPECT_EQ(fired.size(), 4u);
}

TEST_F(HeadlessTimer, EnablingAgainAndNewIntervalRestartTheCount) {
  std::vector<uint64_t> fired;
  auto timer = MakeTimer(100, fired);
  Loop().AdvanceClock(80);
  timer->SetEnabled(true);  // already enabled: the count starts again
  Loop().AdvanceClock(80);
  EXPECT_TRUE(fired.empty());
  Loop().AdvanceClock(20);
  EXPECT_EQ(fired.size(), 1u);
  Loop().AdvanceClock(50);
  timer->SetInterval(30);
  Loop().AdvanceClock(29);
  EXPECT_EQ(fired.size(), 1u);
  Loop().AdvanceClock(1);
  EXPECT_EQ(fired.size(), 2u);
  timer->SetInterval(0);  // 0 stops
  Loop().AdvanceClock(500);
  EXPECT_EQ(fired.size(), 2u);
  EXPECT_TRUE(timer->Enabled());
}

TEST_F(HeadlessTimer, TimersFireInTheOrderTheyFallDue) {
  std::vector<std::string> order;
  auto slow = CreateUnowned<TTimer>();
  slow->SetInterval(50);
  slow->SetOnTimer([&](TObject*) { order.push_back("slow"); });
  auto fast = CreateUnowned<TTimer>();
  fast->SetInterval(20);
  fast->SetOnTimer([&](TObject*) { order.push_back("fast"); });
  Loop().AdvanceClock(60);
  EXPECT_EQ(order, (std::vector<std::string>{"fast", "fast", "slow", "fast"}));
}

TEST_F(HeadlessTimer, HandlerMayFreeItsOwnTimer) {
  // An idle timer that ends the connection destroys itself from its event.
  TComponent* owner = CreateUnowned<TComponent>().release();
  TTimer* timer = Create<TTimer>(owner);
  int calls = 0;
  timer->SetInterval(10);
  timer->SetOnTimer([&](TObject* sender) {
    ++calls;
    EXPECT_EQ(sender, timer);
    timer->Free();
  });
  size_t running = Loop().RunningTimers();
  Loop().AdvanceClock(100);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(owner->ComponentCount(), 0);
  EXPECT_EQ(Loop().RunningTimers(), running - 1);
  owner->Free();
}

TEST_F(HeadlessTimer, FreedOwnerStopsItsTimers) {
  int calls = 0;
  {
    auto owner = CreateUnowned<TComponent>();
    TTimer* timer = Create<TTimer>(owner.get());
    timer->SetInterval(10);
    timer->SetOnTimer([&](TObject*) { ++calls; });
  }
  Loop().AdvanceClock(100);
  EXPECT_EQ(calls, 0);
}

TEST_F(HeadlessTimer, FailingHandlerGoesToTheApplication) {
  int before = Application()->HandledExceptionCount();
  std::string seen;
  Application()->SetOnException([&](TObject*, const Exception& e) { seen = e.Message(); });
  auto timer = CreateUnowned<TTimer>();
  timer->SetInterval(10);
  timer->SetOnTimer([](TObject*) { throw EDatabaseError("idle close failed"); });
  Loop().AdvanceClock(10);
  EXPECT_EQ(seen, "idle close failed");
  EXPECT_EQ(Application()->HandledExceptionCount(), before + 1);
  Application()->SetOnException(nullptr);
}

TEST(HeadlessEventLoop, ProcessMessagesRunsPostedWorkOnce) {
  THeadlessEventLoop loop;
  std::vector<int> ran;
  loop.Post([&] {
    ran.push_back(1);
    loop.Post([&] { ran.push_back(3); });  // waits for the next round
  });
  loop.Post([&] { ran.push_back(2); });
  EXPECT_EQ(loop.PendingWork(), 2u);
  loop.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  loop.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(loop.PendingWork(), 0u);
}

TEST(HeadlessEventLoop, TimerOutlivingItsLoopIsInert) {
  auto loop = std::make_unique<THeadlessEventLoop>();
  int calls = 0;
  auto handle = loop->CreateTimer([&] { ++calls; });
  handle->Start(5);
  loop->AdvanceClock(5);
  EXPECT_EQ(calls, 1);
  loop.reset();
  handle->Start(5);
  handle->Stop();
  handle.reset();
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace dac
