#include "platform/desktop/qt/dti_login_dialog.h"

namespace dac {

TDtiLoginDialog::TDtiLoginDialog(QWidget* Parent)
    : TLoginForm(QStringLiteral("Server Login"), QStringLiteral("Server:"), Parent), ServerName(NameLabel) {}

bool RunServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password) {
  TDtiLoginDialog dialog;
  dialog.Setup(ServerName, UserName);
  if (dialog.exec() != QDialog::Accepted) return false;
  UserName = dialog.EnteredUserName();
  Password = dialog.EnteredPassword();
  return true;
}

}  // namespace dac
