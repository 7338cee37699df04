#include "platform/desktop/qt/password_dialog.h"

#include "platform/desktop/qt/login_form.h"
#include "platform/desktop/qt/qt_text.h"

namespace dac {

namespace {

QPushButton* MakeButton(const QString& Text, QWidget* Parent, int Left, int Top) {
  auto* button = new QPushButton(Text, Parent);
  button->setGeometry(Left, Top, 75, 25);
  return button;
}

}  // namespace

TPvPasswordDialog::TPvPasswordDialog(IPasswordList& Session, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), FLogic(Session) {
  setWindowTitle(QStringLiteral("Enter password"));
  setFont(DialogFont());
  setFixedSize(FormClientWidth, FormClientHeight);

  GroupBox1 = new QGroupBox(QStringLiteral("Password"), this);
  GroupBox1->setGeometry(8, 6, 257, 85);
  Edit = new QLineEdit(GroupBox1);
  Edit->setGeometry(12, 22, 233, 21);
  MakePasswordEdit(Edit);
  AddButton = MakeButton(QStringLiteral("&Add"), GroupBox1, 12, 52);
  RemoveButton = MakeButton(QStringLiteral("&Remove"), GroupBox1, 91, 52);
  RemoveAllButton = MakeButton(QStringLiteral("Re&move all"), GroupBox1, 170, 52);

  OKButton = MakeButton(QStringLiteral("&OK"), this, 109, 99);
  OKButton->setDefault(true);
  CancelButton = MakeButton(QStringLiteral("Cancel"), this, 190, 99);

  connect(Edit, &QLineEdit::textChanged, this, [this] { EditChange(); });
  connect(AddButton, &QPushButton::clicked, this, [this] { AddButtonClick(); });
  connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveButtonClick(); });
  connect(RemoveAllButton, &QPushButton::clicked, this, [this] { RemoveAllButtonClick(); });
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  ApplyStates();
  Edit->setFocus();
  CenterOnScreen(this);
}

std::string TPvPasswordDialog::Text() const { return FromQString(Edit->text()); }

void TPvPasswordDialog::ApplyStates() {
  const TPasswordButtonStates& states = FLogic.States();
  AddButton->setEnabled(states.AddEnabled);
  RemoveButton->setEnabled(states.RemoveEnabled);
  RemoveAllButton->setEnabled(states.RemoveAllEnabled);
  OKButton->setEnabled(states.OKEnabled);
}

void TPvPasswordDialog::EditChange() {
  FLogic.EditChange(Text());
  ApplyStates();
}

void TPvPasswordDialog::AddButtonClick() {
  FLogic.AddButtonClick(Text());
  Edit->clear();
  // Clearing an edit that is empty already changes nothing, yet the added
  // password must still enable OK.
  EditChange();
  Edit->setFocus();
}

void TPvPasswordDialog::RemoveButtonClick() {
  FLogic.RemoveButtonClick(Text());
  Edit->clear();
  Edit->setFocus();
}

void TPvPasswordDialog::RemoveAllButtonClick() {
  FLogic.RemoveAllButtonClick();
  Edit->setFocus();
}

void TPvPasswordDialog::OKButtonClick() {
  FLogic.OKButtonClick(Text());
  accept();
}

bool RunPasswordDialog(IPasswordList& Session) {
  TPvPasswordDialog dialog(Session);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace dac
