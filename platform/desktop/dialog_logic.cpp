#include "platform/desktop/dialog_logic.h"

namespace dac {

TLoginFocus InitialLoginFocus(const std::string& UserName) { return UserName.empty() ? lfUserName : lfPassword; }

int FitServerNameWidth(int LabelLeft, int LabelWidth, int PanelClientWidth) {
  if (LabelLeft + LabelWidth >= PanelClientWidth) return PanelClientWidth - LabelLeft - 5;
  return LabelWidth;
}

void TPasswordDialogLogic::EditChange(const std::string& Text) {
  FStates.AddEnabled = !Text.empty();
  FStates.RemoveEnabled = !Text.empty();
  FStates.OKEnabled = !Text.empty() || FPasswordAdded;
}

void TPasswordDialogLogic::AddButtonClick(const std::string& Text) {
  FPasswords.AddPassword(Text);
  FPasswordAdded = true;
}

void TPasswordDialogLogic::RemoveButtonClick(const std::string& Text) { FPasswords.RemovePassword(Text); }

void TPasswordDialogLogic::RemoveAllButtonClick() { FPasswords.RemoveAllPasswords(); }

void TPasswordDialogLogic::OKButtonClick(const std::string& Text) { FPasswords.AddPassword(Text); }

}  // namespace dac
