#include "platform/desktop/qt/qt_desktop_services.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

#include "platform/desktop/qt/dti_login_dialog.h"
#include "platform/desktop/qt/login_dialog.h"
#include "platform/desktop/qt/password_dialog.h"
#include "platform/desktop/qt/qt_text.h"
#include "platform/rtl/exceptions.h"

namespace dac {

namespace {

Qt::CursorShape ShapeOf(TCursor Value) {
  switch (Value) {
    case -1: return Qt::BlankCursor;
    case -3: return Qt::CrossCursor;
    case -4: return Qt::IBeamCursor;
    case -11: return Qt::WaitCursor;
    case -17: return Qt::BusyCursor;
    case -19: return Qt::BusyCursor;
    case -21: return Qt::PointingHandCursor;
    default: return Qt::ArrowCursor;
  }
}

// A Qt timer. Its QTimer belongs to the application object, so that it is
// gone at the latest with the application, and is released through the
// loop, because the handle may be destroyed inside the timer's own signal.
class TQtTimerHandle : public ITimerHandle {
 public:
  explicit TQtTimerHandle(std::function<void()> OnFire) : FTimer(new QTimer(QCoreApplication::instance())) {
    QObject::connect(FTimer.data(), &QTimer::timeout, [fire = std::move(OnFire)] {
      // The callback may destroy this handle: it runs from a copy.
      std::function<void()> f = fire;
      if (f) f();
    });
  }
  ~TQtTimerHandle() override {
    if (FTimer.isNull()) return;
    FTimer->stop();
    FTimer->disconnect();
    FTimer->deleteLater();
  }
  void Start(uint32_t IntervalMs) override {
    if (FTimer.isNull()) return;
    if (IntervalMs == 0) {
      FTimer->stop();
      return;
    }
    FTimer->start(static_cast<int>(std::min<uint32_t>(IntervalMs, INT32_MAX)));
  }
  void Stop() override {
    if (!FTimer.isNull()) FTimer->stop();
  }

 private:
  QPointer<QTimer> FTimer;
};

}  // namespace

void TQtScreenCursor::SetCursor(TCursor Value) {
  FCursor = Value;
  if (Value == crDefault) {
    if (FOverridden) QGuiApplication::restoreOverrideCursor();
    FOverridden = false;
    return;
  }
  if (FOverridden) {
    QGuiApplication::changeOverrideCursor(QCursor(ShapeOf(Value)));
  } else {
    QGuiApplication::setOverrideCursor(QCursor(ShapeOf(Value)));
    FOverridden = true;
  }
}

void TQtEventLoop::ProcessMessages() { QCoreApplication::processEvents(); }

void TQtEventLoop::Post(std::function<void()> Work) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [w = std::move(Work)] { if (w) w(); }, Qt::QueuedConnection);
}

std::unique_ptr<ITimerHandle> TQtEventLoop::CreateTimer(std::function<void()> OnFire) {
  return std::make_unique<TQtTimerHandle>(std::move(OnFire));
}

void TQtExceptionDisplay::ShowException(const std::string& Message) {
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), ToQString(Message));
}

bool TQtDialogs::LoginDialogEx(const std::string& Name, std::string& UserName, std::string& Password,
                               bool UserNameReadOnly) {
  return RunLoginDialog(Name, UserName, Password, UserNameReadOnly);
}

bool TQtDialogs::ServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password) {
  return RunServerLoginDialog(ServerName, UserName, Password);
}

bool TQtDialogs::PasswordDialog(IPasswordList& Passwords) { return RunPasswordDialog(Passwords); }

void InstallQtDesktopServices() {
  // Timers, cursors and dialogs all need the application object.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    throw EComponentError("The Qt desktop services need a QApplication");
  SetScreenCursorService(std::make_unique<TQtScreenCursor>());
  SetEventLoop(std::make_unique<TQtEventLoop>());
  SetExceptionDisplay(std::make_unique<TQtExceptionDisplay>());
  SetDialogService(std::make_unique<TQtDialogs>());
}

void UninstallQtDesktopServices() {
  if (auto cursor = SetScreenCursorService(nullptr)) cursor->SetCursor(crDefault);
  SetEventLoop(nullptr);
  SetExceptionDisplay(nullptr);
  SetDialogService(nullptr);
}

}  // namespace dac
