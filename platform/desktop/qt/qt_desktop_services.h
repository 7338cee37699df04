#pragma once
// The Qt implementations of the desktop services: the screen cursor, the
// message loop and its timers, the display of failures and the dialogs.

#include <QPointer>
#include <algorithm>
#include <cstdint>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/desktop/application.h"
#include "platform/desktop/dialogs.h"
#include "platform/desktop/event_loop.h"
#include "platform/desktop/screen.h"

namespace dac {

// The application-wide override cursor. The default cursor removes the
// override this service set; other values set or change it.
class TQtScreenCursor : public IScreenCursor {
 public:
  TCursor Cursor() const override { return FCursor; }
  void SetCursor(TCursor Value) override;

 private:
  TCursor FCursor = crDefault;
  bool FOverridden = false;
};

class TQtEventLoop : public IEventLoop {
 public:
  void ProcessMessages() override;
  void Post(std::function<void()> Work) override;
  std::unique_ptr<ITimerHandle> CreateTimer(std::function<void()> OnFire) override;
};

class TQtExceptionDisplay : public IExceptionDisplay {
 public:
  void ShowException(const std::string& Message) override;
};

class TQtDialogs : public IDialogService {
 public:
  bool LoginDialogEx(const std::string& Name, std::string& UserName, std::string& Password,
                     bool UserNameReadOnly) override;
  bool ServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password) override;
  bool PasswordDialog(IPasswordList& Passwords) override;
};

// Installs all of the above process-wide. Call it once the QApplication
// exists (without one it raises EComponentError) and before any timer is
// made.
void InstallQtDesktopServices();
// Goes back to the headless defaults (before the QApplication ends).
void UninstallQtDesktopServices();

}  // namespace dac
