#include "platform/desktop/dialogs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/desktop/dialog_logic.h"

namespace dac {
namespace {

// Records what a dialog does to the password list.
class TRecordingPasswords : public IPasswordList {
 public:
  void AddPassword(const std::string& Password) override { Calls.push_back("add:" + Password); }
  void RemovePassword(const std::string& Password) override { Calls.push_back("remove:" + Password); }
  void RemoveAllPasswords() override { Calls.push_back("clear"); }
  std::vector<std::string> Calls;
};

class HeadlessDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { HeadlessDialogs().Clear(); }
  void TearDown() override { HeadlessDialogs().Clear(); }
};

TEST_F(HeadlessDialogsTest, CancelsUnlessAnswered) {
  std::string user = "admin", password = "old";
  EXPECT_FALSE(LoginDialogEx("Orders", user, password, false));
  EXPECT_FALSE(ServerLoginDialog("srv", user, password));
  TRecordingPasswords list;
  EXPECT_FALSE(ShowPasswordDialog(list));
  EXPECT_EQ(user, "admin");
  EXPECT_EQ(password, "old");
  EXPECT_TRUE(list.Calls.empty());
  ASSERT_EQ(HeadlessDialogs().LoginRequests().size(), 1u);
  EXPECT_EQ(HeadlessDialogs().LoginRequests()[0].Name, "Orders");
  EXPECT_EQ(HeadlessDialogs().LoginRequests()[0].UserName, "admin");
  EXPECT_EQ(HeadlessDialogs().ServerLoginRequests().size(), 1u);
  EXPECT_EQ(HeadlessDialogs().PasswordRequests(), 1);
}

TEST_F(HeadlessDialogsTest, AnswersAreTakenInOrder) {
  HeadlessDialogs().AddLoginCancel();
  HeadlessDialogs().AddLoginAnswer("clerk", "secret");
  HeadlessDialogs().AddLoginAnswer("ignored", "pw2");
  std::string user = "fixed", password;
  EXPECT_FALSE(LoginDialogEx("db", user, password, false));
  EXPECT_EQ(user, "fixed");
  EXPECT_TRUE(LoginDialogEx("db", user, password, false));
  EXPECT_EQ(user, "clerk");
  EXPECT_EQ(password, "secret");
  // A read-only user name cannot be changed by the answer.
  EXPECT_TRUE(LoginDialogEx("db", user, password, true));
  EXPECT_EQ(user, "clerk");
  EXPECT_EQ(password, "pw2");
  EXPECT_TRUE(HeadlessDialogs().LoginRequests()[2].UserNameReadOnly);

  HeadlessDialogs().AddServerLoginAnswer("root", "toor");
  std::string su, sp;
  EXPECT_TRUE(ServerLoginDialog("srv", su, sp));
  EXPECT_EQ(su + "/" + sp, "root/toor");

  TRecordingPasswords list;
  HeadlessDialogs().AddPasswordAnswer("tablepw");
  EXPECT_TRUE(ShowPasswordDialog(list));
  EXPECT_EQ(list.Calls, (std::vector<std::string>{"add:tablepw"}));
}

TEST(LoginDialogLogic, FocusAndServerNameCut) {
  EXPECT_EQ(InitialLoginFocus(""), lfUserName);
  EXPECT_EQ(InitialLoginFocus("admin"), lfPassword);
  // A label that reaches the panel's inner edge is cut 5 pixels short.
  EXPECT_EQ(FitServerNameWidth(86, 100, 257), 100);
  EXPECT_EQ(FitServerNameWidth(86, 170, 257), 170);
  EXPECT_EQ(FitServerNameWidth(86, 171, 257), 166);
  EXPECT_EQ(FitServerNameWidth(86, 400, 257), 166);
}

TEST(PasswordDialogLogic, AddKeepsOKEnabledAndOKAddsTheText) {
  TRecordingPasswords list;
  TPasswordDialogLogic logic(list);
  EXPECT_FALSE(logic.States().OKEnabled);
  EXPECT_TRUE(logic.States().RemoveAllEnabled);
  logic.EditChange("one");
  logic.AddButtonClick("one");
  logic.EditChange("");
  EXPECT_FALSE(logic.States().AddEnabled);
  EXPECT_TRUE(logic.States().OKEnabled);
  logic.OKButtonClick("");
  EXPECT_EQ(list.Calls, (std::vector<std::string>{"add:one", "add:"}));
}

}  // namespace
}  // namespace dac
