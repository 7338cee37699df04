#include "platform/desktop/qt/login_form.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/desktop/dialog_logic.h"
#include "platform/desktop/qt/qt_text.h"

namespace dac {

namespace {

QLabel* MakeLabel(const QString& Text, QWidget* Parent, int Left, int Top) {
  auto* label = new QLabel(Text, Parent);
  label->move(Left, Top);
  label->adjustSize();
  return label;
}

QLineEdit* MakeEdit(QWidget* Parent, int Left, int Top, int Width) {
  auto* edit = new QLineEdit(Parent);
  edit->setGeometry(Left, Top, Width, 21);
  edit->setMaxLength(LoginFieldMaxLength);
  return edit;
}

}  // namespace

void CenterOnScreen(QWidget* Dialog) {
  QScreen* screen = Dialog->screen() != nullptr ? Dialog->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect area = screen->availableGeometry();
  Dialog->move(area.center() - QPoint(Dialog->width() / 2, Dialog->height() / 2));
}

TLoginForm::TLoginForm(const QString& Caption, const QString& NameCaptionText, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(Caption);
  setFont(DialogFont());
  setFixedSize(FormClientWidth, FormClientHeight);

  Panel = new QFrame(this);
  Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel->setGeometry(8, 8, 257, 97);

  NameCaption = MakeLabel(NameCaptionText, Panel, 10, 9);
  NameLabel = MakeLabel(QString(), Panel, 86, 9);

  Bevel = new QFrame(Panel);
  Bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel->setGeometry(8, 30, 241, 2);

  UserNameLabel = MakeLabel(QStringLiteral("&User Name:"), Panel, 10, 43);
  UserName = MakeEdit(Panel, 86, 40, 161);
  UserNameLabel->setBuddy(UserName);
  PasswordLabel = MakeLabel(QStringLiteral("&Password:"), Panel, 10, 70);
  Password = MakeEdit(Panel, 86, 67, 161);
  MakePasswordEdit(Password);
  PasswordLabel->setBuddy(Password);

  OKButton = new QPushButton(QStringLiteral("&OK"), this);
  OKButton->setGeometry(109, 114, 75, 25);
  OKButton->setDefault(true);
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton->setGeometry(190, 114, 75, 25);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  Password->setFocus();
  CenterOnScreen(this);
}

void TLoginForm::Setup(const std::string& Name, const std::string& UserNameText) {
  NameLabel->setText(ToQString(Name));
  NameLabel->adjustSize();
  UserName->setText(ToQString(UserNameText));
  if (InitialLoginFocus(UserNameText) == lfUserName)
    UserName->setFocus();
  else
    Password->setFocus();
}

std::string TLoginForm::EnteredUserName() const { return FromQString(UserName->text()); }

std::string TLoginForm::EnteredPassword() const { return FromQString(Password->text()); }

void TLoginForm::FormShow() {
  int width = FitServerNameWidth(NameLabel->x(), NameLabel->width(), Panel->width());
  if (width != NameLabel->width()) NameLabel->resize(width, NameLabel->height());
}

void TLoginForm::showEvent(QShowEvent* Event) {
  FormShow();
  QDialog::showEvent(Event);
}

}  // namespace dac
