// The export window on Qt's offscreen platform: its controls, a press of
// "Go!" on a small database, the error display, and its picture for docs/.
#include "app/form1_window.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "company_fixture.h"
#include "platform/desktop/qt/qt_desktop_services.h"

using namespace apptest;
using quillbox::TForm1Window;

namespace {

class Form1Window : public CompanyExportTest {
 protected:
  void SetUp() override {
    CompanyExportTest::SetUp();
    dac::InstallQtDesktopServices();
  }
  void TearDown() override {
    dac::UninstallQtDesktopServices();
    CompanyExportTest::TearDown();
  }
  // The window set up for this test's database and output folder.
  void PointAtTestData(TForm1Window& Window, const QString& Agency) {
    Window.edtDSN()->setText(QString::fromStdString(db));
    Window.edtPath()->setText(QString::fromStdString(NameList()));
    Window.edtAgyCode()->setText(Agency);
    Window.Form()->CodedList = CodedList();
  }
};

QWidget* Control(const QWidget& Window, const char* Name) { return Window.findChild<QWidget*>(Name); }

TEST_F(Form1Window, HasEveryControlAtItsPlaceWithItsTextAndTabOrder) {
  TForm1Window window;
  window.show();
  EXPECT_EQ(window.windowTitle(), "Generate Quillbox Master Company List");
  EXPECT_EQ(window.size(), QSize(405, 159));
  EXPECT_EQ(window.pos(), QPoint(5, 5));
  EXPECT_EQ(window.font().pixelSize(), 11);
  const QString family = window.font().family();
  EXPECT_TRUE(family == "Tahoma" || !QFontDatabase::families().contains("Tahoma")) << family.toStdString();

  struct TExpected {
    const char* Name;
    QRect Geometry;
    QString Text;
  };
  const TExpected controls[] = {
      {"Button1", {8, 16, 75, 25}, "Go!"},
      {"Button2", {8, 48, 75, 25}, "Quit"},
      {"Label1", {8, 79, 209, 13}, "Click Go to Go!"},
      {"edtDSN", {160, 8, 217, 21}, "S:\\ORVANE\\DATA\\SQLTABLE"},
      {"edtPath", {160, 32, 217, 21}, "\\orvane\\quillbox\\companies.csv"},
      {"edtAgyCode", {160, 59, 33, 21}, "01"},
  };
  for (const TExpected& c : controls) {
    SCOPED_TRACE(c.Name);
    QWidget* w = Control(window, c.Name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), c.Geometry);
    const QString text = qobject_cast<QLineEdit*>(w)    ? qobject_cast<QLineEdit*>(w)->text()
                         : qobject_cast<QLabel*>(w)     ? qobject_cast<QLabel*>(w)->text()
                                                        : qobject_cast<QPushButton*>(w)->text();
    EXPECT_EQ(text, c.Text);
  }
  for (auto [name, text, left, top] : {std::tuple{"Label2", "DSN", 96, 12}, std::tuple{"Label3", "Quillbox", 96, 36},
                                       std::tuple{"Label4", "Agency", 96, 62}}) {
    SCOPED_TRACE(name);
    auto* label = qobject_cast<QLabel*>(Control(window, name));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), QPoint(left, top));
    EXPECT_EQ(label->text(), text);
  }
  EXPECT_EQ(window.edtAgyCode()->maxLength(), 2);

  std::vector<std::string> order;
  QWidget* w = window.Button1();
  for (int i = 0; i < 5; ++i, w = w->nextInFocusChain()) {
    while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    order.push_back(w->objectName().toStdString());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"Button1", "Button2", "edtDSN", "edtPath", "edtAgyCode"}));
}

TEST_F(Form1Window, GoRunsTheExportShowingEachStatusAndClosesTheWindow) {
  CreateCompanies({{"100001", "Acme", false, "01", ""},
                   {"100002", "Acme North", true, "01", "100001"},
                   {"100003", "Baxter", false, "01", ""}});
  TForm1Window window;
  PointAtTestData(window, "01");
  window.show();
  std::vector<QString> statuses;
  std::vector<QString> painted;
  QObject::connect(&window, &TForm1Window::statusShown, [&](const QString& s) {
    statuses.push_back(s);
    painted.push_back(window.Label1()->text());
  });
  QTest::mouseClick(window.Button1(), Qt::LeftButton);
  EXPECT_EQ(statuses, (std::vector<QString>{"Opening Tables", "Applying Main Filter", "Applying SubFilter (100001)",
                                            "Applying SubFilter (100003)"}));
  EXPECT_EQ(painted, statuses);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(ReadFile(NameList()), "Acme,\r\n,Acme North\r\nBaxter,\r\n");
}

TEST_F(Form1Window, AFailureIsShownInAMessageBoxAndTheWindowStaysOpen) {
  TForm1Window window;
  PointAtTestData(window, "01");
  window.edtDSN()->setText(QString::fromStdString(root + "/nowhere"));
  window.show();
  // The run processes messages after each status text, so look for the box
  // until it is there.
  QString shown;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    poll.stop();
    shown = box->text();
    box->close();
  });
  poll.start(5);
  window.Button1()->click();
  EXPECT_TRUE(shown.contains("nowhere")) << shown.toStdString();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.Form()->Running());
}

TEST_F(Form1Window, QuitOrClosingDuringARunStopsItBeforeTheWindowCloses) {
  CreateCompanies({{"1", "A", false, "01", ""}, {"2", "B", false, "01", ""}, {"3", "C", false, "01", ""}});
  TForm1Window window;
  PointAtTestData(window, "01");
  window.show();
  int parents = 0;
  QObject::connect(&window, &TForm1Window::statusShown, [&](const QString& s) {
    if (!s.startsWith("Applying SubFilter")) return;
    ++parents;
    window.close();  // refused while running: the run is asked to stop
    EXPECT_TRUE(window.isVisible());
  });
  window.Button1()->click();
  EXPECT_EQ(parents, 1);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.Form()->Running());
}

TEST_F(Form1Window, RendersItsPictureForTheDocumentation) {
  TForm1Window window;
  window.show();
  const QPixmap picture = window.grab();
  EXPECT_EQ(picture.size(), QSize(405, 159) * picture.devicePixelRatio());
  // The README shows this picture. DAC_UPDATE_DOCS=1 writes it into docs/;
  // an ordinary run leaves the source tree alone.
  const QString path = qEnvironmentVariableIsSet("DAC_UPDATE_DOCS")
                           ? QStringLiteral(DAC_SOURCE_DIR "/docs/export-window.png")
                           : QDir(QDir::tempPath()).filePath(QStringLiteral("export-window-test.png"));
  EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

}  // namespace
