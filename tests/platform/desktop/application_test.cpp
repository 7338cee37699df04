#include "platform/desktop/application.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/desktop/event_loop.h"
#include "platform/desktop/screen.h"
#include "platform/rtl/scope_guard.h"

namespace dac {
namespace {

class TRecordingDisplay : public IExceptionDisplay {
 public:
  explicit TRecordingDisplay(std::vector<std::string>& shown) : FShown(shown) {}
  void ShowException(const std::string& Message) override { FShown.push_back(Message); }

 private:
  std::vector<std::string>& FShown;
};

TEST(Application, HandleExceptionIgnoresAbortAndShowsTheRest) {
  std::vector<std::string> shown;
  auto previous = SetExceptionDisplay(std::make_unique<TRecordingDisplay>(shown));
  TApplication* app = Application();
  int before = app->HandledExceptionCount();

  try {
    Abort();
  } catch (...) {
    app->HandleException(nullptr);
  }
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(app->HandledExceptionCount(), before);

  try {
    throw EDatabaseError("Table is busy");
  } catch (...) {
    app->HandleException(app);
  }
  try {
    throw std::runtime_error("plain failure");
  } catch (...) {
    app->HandleException(nullptr);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"Table is busy", "plain failure"}));
  EXPECT_EQ(app->HandledExceptionCount(), before + 2);
  EXPECT_EQ(app->LastExceptionMessage(), "plain failure");

  // Outside a handler there is nothing to handle.
  app->HandleException(nullptr);
  EXPECT_EQ(shown.size(), 2u);
  SetExceptionDisplay(std::move(previous));
}

TEST(Application, OnExceptionReplacesTheDisplayAndKeepsTheType) {
  std::vector<std::string> shown;
  auto previous = SetExceptionDisplay(std::make_unique<TRecordingDisplay>(shown));
  TObject* seenSender = nullptr;
  bool wasDatabaseError = false;
  Application()->SetOnException([&](TObject* sender, const Exception& e) {
    seenSender = sender;
    wasDatabaseError = dynamic_cast<const EDatabaseError*>(&e) != nullptr;
  });
  try {
    throw EDatabaseError("x");
  } catch (...) {
    Application()->HandleException(Application());
  }
  Application()->SetOnException(nullptr);
  SetExceptionDisplay(std::move(previous));
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(seenSender, Application());
  EXPECT_TRUE(wasDatabaseError);
}

TEST(Application, IsTheApplicationRoot) {
  EXPECT_EQ(ApplicationRootComponent(), Application());
}

// A clean-up that fails inside a guard cannot raise; the application hears
// of it as of any other unhandled failure.
TEST(Application, CleanupFailuresReachHandleException) {
  std::vector<std::string> shown;
  auto previous = SetExceptionDisplay(std::make_unique<TRecordingDisplay>(shown));
  TApplication* app = Application();
  int before = app->HandledExceptionCount();
  {
    Finally closeTable([] { throw EDatabaseError("Close failed"); });
  }
  CleanupStep([] { Abort(); });
  CleanupStep([] { throw std::runtime_error("Unlock failed"); });
  EXPECT_EQ(shown, (std::vector<std::string>{"Close failed", "Unlock failed"}));
  EXPECT_EQ(app->HandledExceptionCount(), before + 2);
  // The same failure from step after step is reported once.
  for (int i = 0; i < 3; ++i) CleanupStep([] { throw EInOutError("Trace file is not open"); });
  EXPECT_EQ(shown.back(), "Trace file is not open");
  EXPECT_EQ(app->HandledExceptionCount(), before + 3);

  TObject* sender = nullptr;
  app->SetOnException([&](TObject* s, const Exception& e) {
    sender = s;
    shown.push_back("event: " + e.Message());
  });
  CleanupStep([] { throw EDatabaseError("Free failed"); });
  app->SetOnException(nullptr);
  EXPECT_EQ(shown.back(), "event: Free failed");
  EXPECT_EQ(sender, app);
  SetExceptionDisplay(std::move(previous));
}

// Another application object taking the root role gives it up, and the
// clean-up failure handler it replaced comes back, when it is freed.
TEST(Application, InstallAsRootIsUndoneWhenFreed) {
  TApplication* app = Application();
  std::vector<std::string> shown;
  auto previous = SetExceptionDisplay(std::make_unique<TRecordingDisplay>(shown));
  {
    auto second = CreateUnowned<TApplication>();
    second->InstallAsRoot();
    EXPECT_EQ(ApplicationRootComponent(), second.get());
    int before = second->HandledExceptionCount();
    CleanupStep([] { throw EDatabaseError("seen by the second"); });
    EXPECT_EQ(second->HandledExceptionCount(), before + 1);
  }
  EXPECT_EQ(ApplicationRootComponent(), nullptr);
  int before = app->HandledExceptionCount();
  CleanupStep([] { throw EDatabaseError("seen by the first"); });
  EXPECT_EQ(app->HandledExceptionCount(), before + 1) << "the replaced handler is back";
  EXPECT_EQ(shown, (std::vector<std::string>{"seen by the second", "seen by the first"}));
  SetExceptionDisplay(std::move(previous));
  SetApplicationRootComponent(app);
}

TEST(Application, ProcessMessagesRunsTheInstalledLoop) {
  bool ran = false;
  EventLoop().Post([&] { ran = true; });
  Application()->ProcessMessages();
  EXPECT_TRUE(ran);
}

// A cursor service that counts how often the cursor really changes.
class TCountingCursor : public IScreenCursor {
 public:
  TCursor Cursor() const override { return FCursor; }
  void SetCursor(TCursor Value) override {
    FCursor = Value;
    ++FChanges;
  }
  TCursor FCursor = crDefault;
  int FChanges = 0;
};

TEST(Screen, CursorNestingThroughTheInterface) {
  // Headless: the value is kept.
  Screen().SetCursor(crHourGlass);
  EXPECT_EQ(Screen().Cursor(), crHourGlass);
  Screen().SetCursor(crDefault);

  auto counting = std::make_unique<TCountingCursor>();
  TCountingCursor* cursor = counting.get();
  EXPECT_EQ(SetScreenCursorService(std::move(counting)), nullptr);
  EXPECT_EQ(crSQLWait, -17);
  // A wait bracket: remember, show the wait cursor once for the outermost
  // bracket, and put the remembered cursor back at its end.
  int depth = 0;
  TCursor saved = crDefault;
  auto enter = [&] {
    if (depth++ == 0 && Screen().Cursor() != crSQLWait) {
      saved = Screen().Cursor();
      Screen().SetCursor(crSQLWait);
    }
  };
  auto leave = [&] {
    if (--depth == 0 && Screen().Cursor() == crSQLWait) Screen().SetCursor(saved);
  };
  Screen().SetCursor(crHourGlass);
  enter();
  enter();
  EXPECT_EQ(Screen().Cursor(), crSQLWait);
  leave();
  EXPECT_EQ(Screen().Cursor(), crSQLWait);
  leave();
  EXPECT_EQ(Screen().Cursor(), crHourGlass);
  EXPECT_EQ(cursor->FChanges, 3);
  EXPECT_NE(SetScreenCursorService(nullptr), nullptr);
  EXPECT_EQ(Screen().Cursor(), crDefault);
}

}  // namespace
}  // namespace dac
