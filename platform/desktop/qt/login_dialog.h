#pragma once
// "Database Login": the user name and password for a database or session.

#include "platform/desktop/qt/login_form.h"

namespace dac {

class TLoginDialog : public TLoginForm {
 public:
  explicit TLoginDialog(QWidget* Parent = nullptr);

  // As TLoginForm::Setup; a read-only user name cannot be edited and the
  // focus starts in the password.
  void Setup(const std::string& Name, const std::string& UserName, bool UserNameReadOnly);

  QLabel* DatabaseName;
};

// Shows the dialog modally; on OK UserName (unless read-only) and Password
// take the entries and the answer is true; on Cancel nothing changes.
bool RunLoginDialog(const std::string& Name, std::string& UserName, std::string& Password, bool UserNameReadOnly);

}  // namespace dac
