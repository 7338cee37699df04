#pragma once
// The application object: the root component that owns the forms and data
// modules, the handler of failures that reach the message loop, and the
// entry to processing pending messages.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/rtl/component.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

// A window of the application. Only its class matters to the layer (is the
// owner of a component a form?).
class TForm : public TComponent {};
// A container of non-visual components.
class TDataModule : public TComponent {};

using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;

// Shows a failure to the user.
class IExceptionDisplay {
 public:
  virtual ~IExceptionDisplay() = default;
  virtual void ShowException(const std::string& Message) = 0;
};

// The headless default writes the message to standard error.
class TStdErrExceptionDisplay : public IExceptionDisplay {
 public:
  void ShowException(const std::string& Message) override;
};

class TApplication : public TComponent {
 public:
  // Handles the exception being handled by the caller (call it from a catch
  // block): EAbort is ignored; any other failure is recorded, then handed to
  // OnException when set, otherwise shown. Outside a catch block nothing
  // happens.
  void HandleException(TObject* Sender);
  // Shows E through the installed display.
  void ShowException(const Exception& E);
  // Handles pending messages of the installed message loop.
  void ProcessMessages();
  // Makes this application the process's root component
  // (SetApplicationRootComponent) and the receiver of clean-up failures that
  // guards could not raise, which reach HandleException. Both are undone
  // when the application is freed: the root is cleared and the clean-up
  // failure handler it replaced comes back. Application() calls it.
  void InstallAsRoot();

  const TExceptionEvent& OnException() const { return FOnException; }
  void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }

  // Failures handled so far (EAbort not counted) and the last one's text.
  int32_t HandledExceptionCount() const { return FHandledExceptionCount; }
  const std::string& LastExceptionMessage() const { return FLastExceptionMessage; }

 protected:
  void Shutdown() override;

 private:
  TExceptionEvent FOnException;
  bool FInstalledAsRoot = false;
  TCleanupFailureHandler FReplacedCleanupHandler;
  std::string FLastCleanupFailure;
  int32_t FHandledExceptionCount = 0;
  std::string FLastExceptionMessage;
};

// The process's application object, made on first use (and installed as
// the root, see InstallAsRoot) and freed at exit with every form and data
// module it still owns.
TApplication* Application();

// Installs a display process-wide and returns the one it replaces (null
// while the headless default was in use). Null goes back to the default.
std::unique_ptr<IExceptionDisplay> SetExceptionDisplay(std::unique_ptr<IExceptionDisplay> Display);

}  // namespace dac
