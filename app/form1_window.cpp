#include "app/form1_window.h"

#include <QCloseEvent>
#include <QFontDatabase>

namespace quillbox {
namespace {

QString Text(const std::string& Value) { return QString::fromStdString(Value); }

QLabel* Caption(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top) {
  auto* label = new QLabel(QString::fromUtf8(Caption), Parent);
  label->setObjectName(Name);
  label->adjustSize();
  label->move(Left, Top);
  return label;
}

QLineEdit* Edit(QWidget* Parent, const char* Name, const std::string& Value, QRect Geometry) {
  auto* edit = new QLineEdit(Text(Value), Parent);
  edit->setObjectName(Name);
  edit->setGeometry(Geometry);
  return edit;
}

QPushButton* Button(QWidget* Parent, const char* Name, const char* Caption, QRect Geometry) {
  auto* button = new QPushButton(QString::fromUtf8(Caption), Parent);
  button->setObjectName(Name);
  button->setGeometry(Geometry);
  return button;
}

}  // namespace

QFont FormFont() {
  const QString tahoma = QStringLiteral("Tahoma");
  QFont font(QFontDatabase::families().contains(tahoma) ? tahoma
                                                        : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

TForm1Window::TForm1Window(QWidget* Parent) : QWidget(Parent), FForm(dac::CreateUnowned<TForm1>()) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  setFont(FormFont());
  setFixedSize(405, 159);
  move(5, 5);
  CreateControls();
  FForm->OnStatus = [this](const std::string& Status) { ShowStatus(Status); };
  FForm->OnClose = [this] {
    FClosing = true;
    close();
  };
  connect(FButton1, &QPushButton::clicked, this, [this] { Go(); });
  connect(FButton2, &QPushButton::clicked, this, [this] { FForm->Quit(); });
}

TForm1Window::~TForm1Window() = default;

void TForm1Window::CreateControls() {
  FButton1 = Button(this, "Button1", "Go!", QRect(8, 16, 75, 25));
  FButton2 = Button(this, "Button2", "Quit", QRect(8, 48, 75, 25));
  FLabel1 = new QLabel(QString::fromUtf8(kIdleStatus), this);
  FLabel1->setObjectName("Label1");
  FLabel1->setGeometry(8, 79, 209, 13);
  Caption(this, "Label2", "DSN", 96, 12);
  Caption(this, "Label3", "Quillbox", 96, 36);
  Caption(this, "Label4", "Agency", 96, 62);
  FDSN = Edit(this, "edtDSN", FForm->DSN, QRect(160, 8, 217, 21));
  FPath = Edit(this, "edtPath", FForm->Path, QRect(160, 32, 217, 21));
  FAgyCode = Edit(this, "edtAgyCode", FForm->AgyCode, QRect(160, 59, 33, 21));
  FAgyCode->setMaxLength(2);
  for (QWidget* w : std::initializer_list<QWidget*>{FButton1, FButton2, FDSN, FPath, FAgyCode})
    w->setFocusPolicy(Qt::StrongFocus);
  setTabOrder(FButton1, FButton2);
  setTabOrder(FButton2, FDSN);
  setTabOrder(FDSN, FPath);
  setTabOrder(FPath, FAgyCode);
  FButton1->setFocus();
}

void TForm1Window::TakeEditTexts() {
  FForm->DSN = FDSN->text().toStdString();
  FForm->Path = FPath->text().toStdString();
  FForm->AgyCode = FAgyCode->text().toStdString();
}

void TForm1Window::Go() {
  if (FForm->Running()) return;
  TakeEditTexts();
  FForm->Go();
}

void TForm1Window::ShowStatus(const std::string& Status) {
  FLabel1->setText(Text(Status));
  FLabel1->repaint();
  emit statusShown(FLabel1->text());
}

void TForm1Window::closeEvent(QCloseEvent* Event) {
  // Closing the window while a run goes on stops the run first; the form
  // closes the window when the run has ended.
  if (FForm->Running() && !FClosing) {
    Event->ignore();
    FForm->Quit();
    return;
  }
  FClosing = false;
  QWidget::closeEvent(Event);
}

}  // namespace quillbox
