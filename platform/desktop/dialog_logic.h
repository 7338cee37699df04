#pragma once
// What the login and password dialogs do, apart from drawing: enabled
// states, the handlers of the password dialog, the first focused field of
// a login, and the cut of a long server name. The toolkit's widgets call
// into these.

#include <string>

#include "platform/desktop/dialogs.h"

namespace dac {

// Which edit of a login dialog gets the focus first.
enum TLoginFocus : uint8_t { lfUserName, lfPassword };

// The user name field when no user name is known yet, otherwise the
// password field.
TLoginFocus InitialLoginFocus(const std::string& UserName);

// The width the server-name label keeps when the dialog is shown: a label
// that reaches or passes the panel's right inner edge (left + width at least
// the panel's client width) is cut 5 pixels short of it.
int FitServerNameWidth(int LabelLeft, int LabelWidth, int PanelClientWidth);

// The longest user name or password the login dialogs accept.
inline constexpr int LoginFieldMaxLength = 31;

struct TPasswordButtonStates {
  bool AddEnabled = false;
  bool RemoveEnabled = false;
  bool RemoveAllEnabled = true;
  bool OKEnabled = false;
};

// The password dialog's state and handlers over the edited list.
class TPasswordDialogLogic {
 public:
  explicit TPasswordDialogLogic(IPasswordList& Passwords) : FPasswords(Passwords) {}

  // At start "Add", "Remove" and "OK" are disabled, "Remove all" enabled.
  const TPasswordButtonStates& States() const { return FStates; }
  bool PasswordAdded() const { return FPasswordAdded; }

  // The edit's text changed: "Add" and "Remove" follow whether there is
  // text; "OK" is enabled by text or by an earlier "Add".
  void EditChange(const std::string& Text);
  // The handlers. The widget clears and focuses the edit after Add and
  // Remove (clearing runs EditChange) and focuses it after Remove all.
  void AddButtonClick(const std::string& Text);
  void RemoveButtonClick(const std::string& Text);
  void RemoveAllButtonClick();
  // Adds the current text, also an empty one after an earlier "Add"; the
  // dialog then closes with OK.
  void OKButtonClick(const std::string& Text);

 private:
  IPasswordList& FPasswords;
  bool FPasswordAdded = false;
  TPasswordButtonStates FStates;
};

}  // namespace dac
