#pragma once
// "Server Login": the administration user name and password of a server.

#include "platform/desktop/qt/login_form.h"

namespace dac {

class TDtiLoginDialog : public TLoginForm {
 public:
  explicit TDtiLoginDialog(QWidget* Parent = nullptr);

  QLabel* ServerName;
};

// Shows the dialog modally for ServerName; on OK UserName and Password take
// the entries and the answer is true; on Cancel nothing changes.
bool RunServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password);

}  // namespace dac
