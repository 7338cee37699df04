#include "platform/desktop/dialogs.h"

#include "platform/desktop/service_slot.h"

namespace dac {

namespace {

TServiceSlot<IDialogService, THeadlessDialogs>& Slot() {
  static TServiceSlot<IDialogService, THeadlessDialogs> slot;
  return slot;
}

}  // namespace

bool THeadlessDialogs::LoginDialogEx(const std::string& Name, std::string& UserName, std::string& Password,
                                     bool UserNameReadOnly) {
  FLoginRequests.push_back({Name, UserName, UserNameReadOnly});
  if (FLoginAnswers.empty()) return false;
  TAnswer answer = std::move(FLoginAnswers.front());
  FLoginAnswers.pop_front();
  if (!answer.OK) return false;
  if (!UserNameReadOnly) UserName = answer.UserName;
  Password = answer.Password;
  return true;
}

bool THeadlessDialogs::ServerLoginDialog(const std::string& ServerName, std::string& UserName,
                                         std::string& Password) {
  FServerLoginRequests.push_back({ServerName, UserName, false});
  if (FServerLoginAnswers.empty()) return false;
  TAnswer answer = std::move(FServerLoginAnswers.front());
  FServerLoginAnswers.pop_front();
  if (!answer.OK) return false;
  UserName = answer.UserName;
  Password = answer.Password;
  return true;
}

bool THeadlessDialogs::PasswordDialog(IPasswordList& Passwords) {
  ++FPasswordRequests;
  if (FPasswordScripts.empty()) return false;
  TPasswordScript script = std::move(FPasswordScripts.front());
  FPasswordScripts.pop_front();
  return script ? script(Passwords) : false;
}

void THeadlessDialogs::AddLoginAnswer(const std::string& UserName, const std::string& Password) {
  FLoginAnswers.push_back({true, UserName, Password});
}

void THeadlessDialogs::AddLoginCancel() { FLoginAnswers.push_back({}); }

void THeadlessDialogs::AddServerLoginAnswer(const std::string& UserName, const std::string& Password) {
  FServerLoginAnswers.push_back({true, UserName, Password});
}

void THeadlessDialogs::AddServerLoginCancel() { FServerLoginAnswers.push_back({}); }

void THeadlessDialogs::AddPasswordAnswer(const std::string& Password) {
  FPasswordScripts.push_back([Password](IPasswordList& list) {
    list.AddPassword(Password);
    return true;
  });
}

void THeadlessDialogs::AddPasswordScript(TPasswordScript Script) { FPasswordScripts.push_back(std::move(Script)); }

void THeadlessDialogs::Clear() {
  FLoginAnswers.clear();
  FServerLoginAnswers.clear();
  FPasswordScripts.clear();
  FLoginRequests.clear();
  FServerLoginRequests.clear();
  FPasswordRequests = 0;
}

bool LoginDialogEx(const std::string& Name, std::string& UserName, std::string& Password, bool UserNameReadOnly) {
  return Slot().Current().LoginDialogEx(Name, UserName, Password, UserNameReadOnly);
}

bool ServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password) {
  return Slot().Current().ServerLoginDialog(ServerName, UserName, Password);
}

bool ShowPasswordDialog(IPasswordList& Passwords) { return Slot().Current().PasswordDialog(Passwords); }

THeadlessDialogs& HeadlessDialogs() { return Slot().Headless(); }

std::unique_ptr<IDialogService> SetDialogService(std::unique_ptr<IDialogService> Service) {
  return Slot().Install(std::move(Service));
}

}  // namespace dac
