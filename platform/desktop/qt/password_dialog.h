#pragma once
// "Enter password": edits the password list of a session.

#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "platform/desktop/dialog_logic.h"

namespace dac {

class TPvPasswordDialog : public QDialog {
 public:
  static constexpr int FormClientWidth = 273;
  static constexpr int FormClientHeight = 132;

  explicit TPvPasswordDialog(IPasswordList& Session, QWidget* Parent = nullptr);

  bool PasswordAdded() const { return FLogic.PasswordAdded(); }

  QGroupBox* GroupBox1;
  QLineEdit* Edit;
  QPushButton* AddButton;
  QPushButton* RemoveButton;
  QPushButton* RemoveAllButton;
  QPushButton* OKButton;
  QPushButton* CancelButton;

 private:
  void EditChange();
  void AddButtonClick();
  void RemoveButtonClick();
  void RemoveAllButtonClick();
  void OKButtonClick();
  void ApplyStates();
  std::string Text() const;

  TPasswordDialogLogic FLogic;
};

// Shows the dialog modally for Session; true when it was closed with OK.
bool RunPasswordDialog(IPasswordList& Session);

}  // namespace dac
