#pragma once
// The common form of the two login dialogs: a sunken panel with a caption
// label and a name beside it, a line, the user name and password edits, and
// OK and Cancel below.

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

namespace dac {

class TLoginForm : public QDialog {
 public:
  // The client area of the form.
  static constexpr int FormClientWidth = 273;
  static constexpr int FormClientHeight = 147;

  // Shows Name beside the caption and UserName in its edit; the focus
  // starts in the user name when it is empty, otherwise in the password.
  void Setup(const std::string& Name, const std::string& UserName);
  std::string EnteredUserName() const;
  std::string EnteredPassword() const;

  QFrame* Panel;
  QFrame* Bevel;
  QLabel* NameCaption;
  QLabel* NameLabel;
  QLabel* UserNameLabel;
  QLineEdit* UserName;
  QLabel* PasswordLabel;
  QLineEdit* Password;
  QPushButton* OKButton;
  QPushButton* CancelButton;

 protected:
  TLoginForm(const QString& Caption, const QString& NameCaptionText, QWidget* Parent);
  // Cuts a long name at the panel's edge.
  void FormShow();
  void showEvent(QShowEvent* Event) override;
};

// Places a dialog in the middle of the screen it is on.
void CenterOnScreen(QWidget* Dialog);

}  // namespace dac
