#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "platform/desktop/dialogs.h"
#include "platform/desktop/qt/password_dialog.h"
#include "platform/desktop/qt/qt_desktop_services.h"
#include "qt_test_support.h"

namespace dac {
namespace {

using testing::TPasswordList;
using testing::WhenModal;

TEST(PvPasswordDialog, LayoutAndStartState) {
  TPasswordList list;
  TPvPasswordDialog dialog(list);
  EXPECT_EQ(dialog.windowTitle(), "Enter password");
  EXPECT_EQ(dialog.size(), QSize(273, 132));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_EQ(dialog.GroupBox1->title(), "Password");
  EXPECT_EQ(dialog.AddButton->text(), "&Add");
  EXPECT_EQ(dialog.RemoveButton->text(), "&Remove");
  EXPECT_EQ(dialog.RemoveAllButton->text(), "Re&move all");
  EXPECT_EQ(dialog.OKButton->text(), "&OK");
  EXPECT_EQ(dialog.CancelButton->text(), "Cancel");
  EXPECT_TRUE(dialog.OKButton->isDefault());
  EXPECT_FALSE(dialog.AddButton->isEnabled());
  EXPECT_FALSE(dialog.RemoveButton->isEnabled());
  EXPECT_TRUE(dialog.RemoveAllButton->isEnabled());
  EXPECT_FALSE(dialog.OKButton->isEnabled());
  EXPECT_FALSE(dialog.PasswordAdded());
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit);
  for (QWidget* w : {static_cast<QWidget*>(dialog.GroupBox1), static_cast<QWidget*>(dialog.OKButton),
                     static_cast<QWidget*>(dialog.CancelButton)})
    EXPECT_TRUE(dialog.rect().contains(w->geometry()));
  EXPECT_TRUE(dialog.GroupBox1->rect().contains(dialog.RemoveAllButton->geometry()));
}

TEST(PvPasswordDialog, TypingAddingAndRemoving) {
  TPasswordList list;
  TPvPasswordDialog dialog(list);
  dialog.show();
  QTest::keyClicks(dialog.Edit, "alpha");
  EXPECT_EQ(dialog.Edit->displayText(), "*****");
  EXPECT_TRUE(dialog.AddButton->isEnabled());
  EXPECT_TRUE(dialog.RemoveButton->isEnabled());
  EXPECT_TRUE(dialog.OKButton->isEnabled());

  QTest::mouseClick(dialog.AddButton, Qt::LeftButton);
  EXPECT_EQ(list.Items, (std::vector<std::string>{"alpha"}));
  EXPECT_TRUE(dialog.Edit->text().isEmpty());
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit);
  EXPECT_TRUE(dialog.PasswordAdded());
  EXPECT_FALSE(dialog.AddButton->isEnabled());
  EXPECT_FALSE(dialog.RemoveButton->isEnabled());
  EXPECT_TRUE(dialog.OKButton->isEnabled());  // a password was added

  QTest::keyClicks(dialog.Edit, "beta");
  QTest::mouseClick(dialog.AddButton, Qt::LeftButton);
  QTest::keyClicks(dialog.Edit, "ALPHA");
  QTest::mouseClick(dialog.RemoveButton, Qt::LeftButton);
  EXPECT_EQ(list.Items, (std::vector<std::string>{"beta"}));
  EXPECT_TRUE(dialog.Edit->text().isEmpty());

  QTest::keyClicks(dialog.Edit, "gamma");
  QTest::mouseClick(dialog.RemoveAllButton, Qt::LeftButton);
  EXPECT_TRUE(list.Items.empty());
  EXPECT_EQ(dialog.Edit->text(), "gamma");  // "Remove all" leaves the text
  EXPECT_EQ(dialog.focusWidget(), dialog.Edit);
  EXPECT_EQ(list.Calls, (std::vector<std::string>{"add:alpha", "add:beta", "remove:ALPHA", "clear"}));
}

TEST(PvPasswordDialog, OKStaysDisabledUntilTextOrAnAdd) {
  TPasswordList list;
  std::string none;
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TPvPasswordDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    // Enter on a disabled default button does nothing.
    QTest::keyClick(dialog->Edit, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClicks(dialog->Edit, "x");
    QTest::keyClick(dialog->Edit, Qt::Key_Backspace);
    EXPECT_FALSE(dialog->OKButton->isEnabled());
    QTest::keyClicks(dialog->Edit, "tablepw");
    QTest::keyClick(dialog->Edit, Qt::Key_Return);
  });
  EXPECT_TRUE(RunPasswordDialog(list));
  EXPECT_EQ(list.Calls, (std::vector<std::string>{"add:tablepw"}));
}

TEST(PvPasswordDialog, OKWithEmptyTextAfterAddAddsAnEmptyEntry) {
  TPasswordList list;
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TPvPasswordDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->Edit, "one");
    QTest::mouseClick(dialog->AddButton, Qt::LeftButton);
    QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
  });
  EXPECT_TRUE(RunPasswordDialog(list));
  EXPECT_EQ(list.Items, (std::vector<std::string>{"", "one"}));

  // A second empty entry is not added twice by the list.
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TPvPasswordDialog*>(w);
    QTest::keyClicks(dialog->Edit, "one");
    QTest::mouseClick(dialog->AddButton, Qt::LeftButton);
    QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
  });
  EXPECT_TRUE(RunPasswordDialog(list));
  EXPECT_EQ(list.Items, (std::vector<std::string>{"", "one"}));
}

TEST(PvPasswordDialog, CancelAfterAddKeepsTheAddedPasswords) {
  TPasswordList list;
  InstallQtDesktopServices();
  WhenModal([](QWidget* w) {
    auto* dialog = dynamic_cast<TPvPasswordDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->Edit, "kept");
    QTest::mouseClick(dialog->AddButton, Qt::LeftButton);
    QTest::keyClicks(dialog->Edit, "typed");
    QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
  });
  bool answer = ShowPasswordDialog(list);
  UninstallQtDesktopServices();
  EXPECT_FALSE(answer);
  EXPECT_EQ(list.Items, (std::vector<std::string>{"kept"}));
}

}  // namespace
}  // namespace dac
