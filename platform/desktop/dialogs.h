#pragma once
// The modal dialogs the layer shows: the database login, the server
// (administration) login and the password list of a session.

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dac {

// The password list a password dialog edits (a session implements it).
class IPasswordList {
 public:
  virtual ~IPasswordList() = default;
  virtual void AddPassword(const std::string& Password) = 0;
  virtual void RemovePassword(const std::string& Password) = 0;
  virtual void RemoveAllPasswords() = 0;
};

class IDialogService {
 public:
  virtual ~IDialogService() = default;
  // "Database Login": shows Name, lets the user edit UserName (unless
  // UserNameReadOnly) and enter a password. True on OK, with UserName and
  // Password taken from the dialog; false on cancel, nothing changed.
  virtual bool LoginDialogEx(const std::string& Name, std::string& UserName, std::string& Password,
                             bool UserNameReadOnly) = 0;
  // "Server Login": the same for a server's administration login.
  virtual bool ServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password) = 0;
  // "Enter password": edits Passwords; true when closed with OK.
  virtual bool PasswordDialog(IPasswordList& Passwords) = 0;
};

// The headless default shows nothing. Each request takes the next answer a
// test queued for its kind of dialog; without one it is cancelled. Every
// request is recorded.
class THeadlessDialogs : public IDialogService {
 public:
  struct TLoginRequest {
    std::string Name;
    std::string UserName;
    bool UserNameReadOnly = false;
  };
  // Acts on the password list as a user would and answers whether OK closed
  // the dialog.
  using TPasswordScript = std::function<bool(IPasswordList& Passwords)>;

  bool LoginDialogEx(const std::string& Name, std::string& UserName, std::string& Password,
                     bool UserNameReadOnly) override;
  bool ServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password) override;
  bool PasswordDialog(IPasswordList& Passwords) override;

  // OK with these entries. A read-only user name stays as it was.
  void AddLoginAnswer(const std::string& UserName, const std::string& Password);
  void AddLoginCancel();
  void AddServerLoginAnswer(const std::string& UserName, const std::string& Password);
  void AddServerLoginCancel();
  // OK after typing Password: the dialog's OK adds it to the list.
  void AddPasswordAnswer(const std::string& Password);
  void AddPasswordScript(TPasswordScript Script);

  const std::vector<TLoginRequest>& LoginRequests() const { return FLoginRequests; }
  const std::vector<TLoginRequest>& ServerLoginRequests() const { return FServerLoginRequests; }
  int PasswordRequests() const { return FPasswordRequests; }
  // Forgets queued answers and recorded requests.
  void Clear();

 private:
  struct TAnswer {
    bool OK = false;
    std::string UserName;
    std::string Password;
  };
  std::deque<TAnswer> FLoginAnswers;
  std::deque<TAnswer> FServerLoginAnswers;
  std::deque<TPasswordScript> FPasswordScripts;
  std::vector<TLoginRequest> FLoginRequests;
  std::vector<TLoginRequest> FServerLoginRequests;
  int FPasswordRequests = 0;
};

// The dialogs of the installed service.
bool LoginDialogEx(const std::string& Name, std::string& UserName, std::string& Password, bool UserNameReadOnly);
bool ServerLoginDialog(const std::string& ServerName, std::string& UserName, std::string& Password);
bool ShowPasswordDialog(IPasswordList& Passwords);

// The headless dialogs, in use while nothing else is installed.
THeadlessDialogs& HeadlessDialogs();

// Installs a service process-wide and returns the one it replaces (null
// while the headless default was in use). Null goes back to the default.
std::unique_ptr<IDialogService> SetDialogService(std::unique_ptr<IDialogService> Service);

}  // namespace dac
