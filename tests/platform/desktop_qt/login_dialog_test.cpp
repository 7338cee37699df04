#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>

#include "platform/desktop/dialogs.h"
#include "platform/desktop/qt/dti_login_dialog.h"
#include "platform/desktop/qt/login_dialog.h"
#include "platform/desktop/qt/qt_desktop_services.h"
#include "qt_test_support.h"

namespace dac {
namespace {

using testing::WhenModal;

TEST(DtiLoginDialog, LayoutAndCaptions) {
  TDtiLoginDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Server Login");
  EXPECT_EQ(dialog.size(), QSize(273, 147));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // a dialog border: fixed size
  EXPECT_EQ(dialog.NameCaption->text(), "Server:");
  EXPECT_EQ(dialog.UserNameLabel->text(), "&User Name:");
  EXPECT_EQ(dialog.PasswordLabel->text(), "&Password:");
  EXPECT_EQ(dialog.UserNameLabel->buddy(), dialog.UserName);
  EXPECT_EQ(dialog.PasswordLabel->buddy(), dialog.Password);
  EXPECT_EQ(dialog.OKButton->text(), "&OK");
  EXPECT_EQ(dialog.CancelButton->text(), "Cancel");
  EXPECT_TRUE(dialog.OKButton->isDefault());
  EXPECT_FALSE(dialog.CancelButton->isDefault());
  EXPECT_EQ(dialog.Panel->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(dialog.Bevel->frameShape(), QFrame::HLine);
  // Everything sits inside the client area.
  for (QWidget* w : {static_cast<QWidget*>(dialog.Panel), static_cast<QWidget*>(dialog.OKButton),
                     static_cast<QWidget*>(dialog.CancelButton)})
    EXPECT_TRUE(dialog.rect().contains(w->geometry())) << w->metaObject()->className();
  EXPECT_EQ(dialog.focusWidget(), dialog.Password);
  // Centred on the screen.
  QPoint centre = dialog.screen()->availableGeometry().center();
  EXPECT_LE((dialog.geometry().center() - centre).manhattanLength(), 2);
}

TEST(DtiLoginDialog, EditsTakeThirtyOneCharactersAndHideThePassword) {
  TDtiLoginDialog dialog;
  dialog.Setup("srv", "");
  dialog.show();
  QTest::keyClicks(dialog.UserName, QString(40, 'u'));
  QTest::keyClicks(dialog.Password, QString(40, 'p'));
  EXPECT_EQ(dialog.EnteredUserName(), std::string(31, 'u'));
  EXPECT_EQ(dialog.EnteredPassword(), std::string(31, 'p'));
  EXPECT_EQ(dialog.Password->displayText(), QString(31, '*'));
  EXPECT_EQ(dialog.UserName->displayText(), QString(31, 'u'));
}

TEST(DtiLoginDialog, FocusStartsWhereTheUserMustType) {
  TDtiLoginDialog unknown;
  unknown.Setup("srv", "");
  EXPECT_EQ(unknown.focusWidget(), unknown.UserName);
  TDtiLoginDialog known;
  known.Setup("srv", "admin");
  EXPECT_EQ(known.focusWidget(), known.Password);
  EXPECT_EQ(known.UserName->text(), "admin");
  EXPECT_EQ(known.ServerName->text(), "srv");
}

TEST(DtiLoginDialog, LongServerNameIsCutAtThePanel) {
  TDtiLoginDialog dialog;
  dialog.Setup(std::string(80, 'W'), "admin");
  ASSERT_GT(dialog.ServerName->x() + dialog.ServerName->width(), dialog.Panel->width());
  dialog.show();
  EXPECT_EQ(dialog.ServerName->width(), dialog.Panel->width() - dialog.ServerName->x() - 5);

  TDtiLoginDialog shortName;
  shortName.Setup("db1", "admin");
  int width = shortName.ServerName->width();
  shortName.show();
  EXPECT_EQ(shortName.ServerName->width(), width);
}

TEST(DtiLoginDialog, OKTakesTheEntriesAndCancelChangesNothing) {
  std::string user = "admin", password = "old";
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TDtiLoginDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->ServerName->text(), "Accounting");
    EXPECT_EQ(dialog->focusWidget(), dialog->Password);
    QTest::keyClicks(dialog->Password, "s3cret");
    QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
  });
  EXPECT_TRUE(RunServerLoginDialog("Accounting", user, password));
  EXPECT_EQ(user, "admin");
  EXPECT_EQ(password, "s3cret");

  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TDtiLoginDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->UserName, "x");
    QTest::keyClicks(dialog->Password, "y");
    QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
  });
  EXPECT_FALSE(RunServerLoginDialog("Accounting", user, password));
  EXPECT_EQ(user, "admin");
  EXPECT_EQ(password, "s3cret");
}

TEST(DtiLoginDialog, EnterIsOKAndEscapeIsCancel) {
  std::string user, password;
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TDtiLoginDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->focusWidget(), dialog->UserName);
    QTest::keyClicks(dialog->UserName, "ops");
    QTest::keyClick(dialog->UserName, Qt::Key_Return);
  });
  EXPECT_TRUE(RunServerLoginDialog("srv", user, password));
  EXPECT_EQ(user, "ops");
  EXPECT_EQ(password, "");

  WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  EXPECT_FALSE(RunServerLoginDialog("srv", user, password));
}

TEST(LoginDialog, DatabaseLoginShowsTheNameAndHonoursReadOnlyUserName) {
  TLoginDialog dialog;
  dialog.Setup("Orders", "clerk", true);
  EXPECT_EQ(dialog.windowTitle(), "Database Login");
  EXPECT_EQ(dialog.NameCaption->text(), "Database:");
  EXPECT_EQ(dialog.DatabaseName->text(), "Orders");
  EXPECT_FALSE(dialog.UserName->isEnabled());
  EXPECT_EQ(dialog.focusWidget(), dialog.Password);
  EXPECT_EQ(dialog.UserName->maxLength(), 31);

  TLoginDialog editable;
  editable.Setup("Orders", "", false);
  EXPECT_TRUE(editable.UserName->isEnabled());
  EXPECT_EQ(editable.focusWidget(), editable.UserName);
}

TEST(LoginDialog, ServiceAnswersThroughTheQtDialog) {
  InstallQtDesktopServices();
  std::string user = "clerk", password;
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TLoginDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->UserName, "2");
    QTest::keyClicks(dialog->Password, "pw");
    QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
  });
  bool ok = LoginDialogEx("Orders", user, password, false);
  WhenModal([](QWidget* w) { QTest::mouseClick(dynamic_cast<TLoginDialog*>(w)->CancelButton, Qt::LeftButton); });
  std::string user2 = "keep", password2 = "keep";
  bool cancelled = !LoginDialogEx("Orders", user2, password2, false);
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TDtiLoginDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->Password, "adminpw");
    QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
  });
  std::string admin = "root", adminPassword;
  bool serverOk = ServerLoginDialog("srv", admin, adminPassword);
  UninstallQtDesktopServices();

  EXPECT_TRUE(ok);
  EXPECT_EQ(user, "clerk2");
  EXPECT_EQ(password, "pw");
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(user2 + password2, "keepkeep");
  EXPECT_TRUE(serverOk);
  EXPECT_EQ(adminPassword, "adminpw");
}

}  // namespace
}  // namespace dac
