#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include "platform/desktop/application.h"
#include "platform/desktop/qt/dti_login_dialog.h"
#include "platform/desktop/qt/login_dialog.h"
#include "platform/desktop/qt/password_dialog.h"
#include "platform/desktop/qt/qt_desktop_services.h"
#include "platform/desktop/screen.h"
#include "platform/desktop/timer.h"
#include "qt_test_support.h"

namespace dac {
namespace {

// Installs the Qt services for one test and goes back to the headless ones.
class QtServices : public ::testing::Test {
 protected:
  void SetUp() override { InstallQtDesktopServices(); }
  void TearDown() override { UninstallQtDesktopServices(); }
};

TEST_F(QtServices, CursorNestingSetsOneOverride) {
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  Screen().SetCursor(crHourGlass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen().SetCursor(crSQLWait);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
  EXPECT_EQ(Screen().Cursor(), crSQLWait);
  Screen().SetCursor(crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  Screen().SetCursor(crDefault);  // nothing left to restore
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  // Uninstalling puts back the default cursor.
  Screen().SetCursor(crSQLWait);
  UninstallQtDesktopServices();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  InstallQtDesktopServices();
}

TEST_F(QtServices, TimerFiresOnTheMainLoop) {
  auto timer = CreateUnowned<TTimer>();
  int calls = 0;
  timer->SetInterval(10);
  timer->SetOnTimer([&](TObject*) { ++calls; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return calls >= 2; }, 2000));
  timer->SetEnabled(false);
  int seen = calls;
  QTest::qWait(50);
  EXPECT_EQ(calls, seen);
}

TEST_F(QtServices, TimerMayFreeItselfInItsHandler) {
  TTimer* timer = Create<TTimer>(nullptr);
  int calls = 0;
  timer->SetInterval(5);
  timer->SetOnTimer([&](TObject* sender) {
    ++calls;
    static_cast<TTimer*>(sender)->Free();
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 2000));
  QTest::qWait(40);
  EXPECT_EQ(calls, 1);
}

TEST_F(QtServices, PostedWorkRunsWhenMessagesAreProcessed) {
  bool ran = false;
  EventLoop().Post([&] { ran = true; });
  EXPECT_FALSE(ran);
  Application()->ProcessMessages();
  EXPECT_TRUE(ran);
}

// Renders each dialog to a PNG beside the test program, for a person to look
// at.
TEST(DialogPictures, RenderEachDialog) {
  QDir dir(QCoreApplication::applicationDirPath());
  ASSERT_TRUE(dir.mkpath("dialog_png"));
  dir.cd("dialog_png");

  TDtiLoginDialog server;
  server.Setup("ACCOUNTING-SERVER-WITH-A-VERY-LONG-NAME", "admin");
  server.show();
  QTest::keyClicks(server.Password, "secret");
  EXPECT_TRUE(server.grab().save(dir.filePath("server_login.png")));

  TLoginDialog login;
  login.Setup("S:\\ORVANE\\DATA\\SQLTABLE", "clerk", false);
  login.show();
  EXPECT_TRUE(login.grab().save(dir.filePath("database_login.png")));

  testing::TPasswordList list;
  TPvPasswordDialog passwords(list);
  passwords.show();
  QTest::keyClicks(passwords.Edit, "pw");
  EXPECT_TRUE(passwords.grab().save(dir.filePath("password.png")));
}

}  // namespace
}  // namespace dac
