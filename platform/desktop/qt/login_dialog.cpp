#include "platform/desktop/qt/login_dialog.h"

namespace dac {

TLoginDialog::TLoginDialog(QWidget* Parent)
    : TLoginForm(QStringLiteral("Database Login"), QStringLiteral("Database:"), Parent), DatabaseName(NameLabel) {}

void TLoginDialog::Setup(const std::string& Name, const std::string& UserNameText, bool UserNameReadOnly) {
  TLoginForm::Setup(Name, UserNameText);
  if (UserNameReadOnly) {
    UserName->setEnabled(false);
    Password->setFocus();
  }
}

bool RunLoginDialog(const std::string& Name, std::string& UserName, std::string& Password, bool UserNameReadOnly) {
  TLoginDialog dialog;
  dialog.Setup(Name, UserName, UserNameReadOnly);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (!UserNameReadOnly) UserName = dialog.EnteredUserName();
  Password = dialog.EnteredPassword();
  return true;
}

}  // namespace dac
