#pragma once
// The export window as a Qt widget: the controls of TForm1 at their places
// and sizes, in their tab order, wired to the form's Go and Quit. The
// status line repaints before the run goes on after each status text.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "app/form1.h"
#include "platform/rtl/component.h"

namespace quillbox {

inline constexpr const char* kWindowTitle = "Generate Quillbox Master Company List";

class TForm1Window : public QWidget {
  Q_OBJECT

 public:
  // The form is made and owned by the window (and so its two tables).
  explicit TForm1Window(QWidget* Parent = nullptr);
  ~TForm1Window() override;

  TForm1* Form() const { return FForm.get(); }
  QPushButton* Button1() const { return FButton1; }
  QPushButton* Button2() const { return FButton2; }
  QLabel* Label1() const { return FLabel1; }
  QLineEdit* edtDSN() const { return FDSN; }
  QLineEdit* edtPath() const { return FPath; }
  QLineEdit* edtAgyCode() const { return FAgyCode; }

  // Go! as a press does it: the edit texts go to the form, then the run.
  void Go();

 signals:
  void statusShown(const QString& Text);

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void CreateControls();
  void TakeEditTexts();
  void ShowStatus(const std::string& Text);

  dac::TFreePtr<TForm1> FForm;
  QPushButton* FButton1 = nullptr;
  QPushButton* FButton2 = nullptr;
  QLabel* FLabel1 = nullptr;
  QLineEdit* FDSN = nullptr;
  QLineEdit* FPath = nullptr;
  QLineEdit* FAgyCode = nullptr;
  bool FClosing = false;
};

// Tahoma at 11 pixels, or the system's sans font where Tahoma is missing.
QFont FormFont();

}  // namespace quillbox
