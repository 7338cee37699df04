#include "platform/desktop/application.h"

#include <cstdio>
#include <exception>

#include "platform/desktop/event_loop.h"
#include "platform/desktop/service_slot.h"

namespace dac {

namespace {

TServiceSlot<IExceptionDisplay, TStdErrExceptionDisplay>& Slot() {
  static TServiceSlot<IExceptionDisplay, TStdErrExceptionDisplay> slot;
  return slot;
}

}  // namespace

void TStdErrExceptionDisplay::ShowException(const std::string& Message) {
  std::fprintf(stderr, "%s\n", Message.c_str());
  std::fflush(stderr);
}

namespace {
// The text of the exception being handled.
std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}
}  // namespace

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr current = std::current_exception();
  if (!current) return;
  std::unique_ptr<Exception> failure;
  try {
    std::rethrow_exception(current);
  } catch (const EAbort&) {
    return;
  } catch (const Exception& e) {
    failure = e.Clone();
  } catch (const std::exception& e) {
    failure = std::make_unique<Exception>(e.what());
  } catch (...) {
    failure = std::make_unique<Exception>("Unknown exception");
  }
  ++FHandledExceptionCount;
  FLastExceptionMessage = failure->Message();
  if (FOnException) {
    TExceptionEvent handler = FOnException;
    handler(Sender, *failure);
  } else {
    ShowException(*failure);
  }
}

void TApplication::ShowException(const Exception& E) { Slot().Current().ShowException(E.Message()); }

void TApplication::ProcessMessages() { EventLoop().ProcessMessages(); }

void TApplication::InstallAsRoot() {
  SetApplicationRootComponent(this);
  TCleanupFailureHandler replaced = SetCleanupFailureHandler([this](std::exception_ptr failure) {
    if (!failure) return;
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      // One failure repeated by every step of a clean-up (a trace file that
      // cannot be written, say) is reported once, not once per step.
      const std::string text = CurrentExceptionText();
      if (text == FLastCleanupFailure) return;
      FLastCleanupFailure = text;
      HandleException(this);
    }
  });
  if (!FInstalledAsRoot) FReplacedCleanupHandler = std::move(replaced);
  FInstalledAsRoot = true;
}

void TApplication::Shutdown() {
  if (FInstalledAsRoot) {
    FInstalledAsRoot = false;
    SetCleanupFailureHandler(std::move(FReplacedCleanupHandler));
    if (ApplicationRootComponent() == this) SetApplicationRootComponent(nullptr);
  }
  TComponent::Shutdown();
}

TApplication* Application() {
  // Installed inside the initialiser: whatever the installation creates on
  // first use outlives the application, which still uses it when it is
  // freed at exit.
  static TFreePtr<TApplication> application([] {
    TFreePtr<TApplication> app(Create<TApplication>(nullptr));
    app->InstallAsRoot();
    return app;
  }());
  return application.get();
}

std::unique_ptr<IExceptionDisplay> SetExceptionDisplay(std::unique_ptr<IExceptionDisplay> Display) {
  return Slot().Install(std::move(Display));
}

}  // namespace dac
