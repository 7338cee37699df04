#pragma once
// Sessions: TPvAbsSession, the engine-independent session, and TPvSession,
// the session bound to one engine session of the client library. A session
// owns its engine session, the temporary databases it creates on demand,
// the password list of the application and its session-only aliases.
//
// The hourglass: engine calls that may take long are bracketed by
// SetSQLHourGlassOnScreen / RestoreFromSQLHourGlassOnScreen (THourGlass does
// both as a scope guard). Nested brackets change the screen cursor once.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "errors/error_interfaces.h"
#include "platform/desktop/dialogs.h"
#include "platform/desktop/screen.h"
#include "platform/rtl/component.h"
#include "platform/rtl/strings.h"
#include "sessions/alias_list.h"
#include "sessions/session_types.h"

namespace dac {

class TPvAbsSessionList;
class TPvAbsDatabase;
class TDtiConnectionHolder;

// The process-wide wait-cursor bracket. Set returns the cursor the screen
// showed on entry.
TCursor GlobalSetSQLHourGlassOnScreen(bool Enabled);
void GlobalRestoreFromSQLHourGlassOnScreen(bool Enabled);

class TPvAbsSession : public TComponent, public IPvSessionDescription, public IPasswordList {
 public:
  TPvAbsSession();
  ~TPvAbsSession() override;

  void AfterConstruction() override;

  // --- state ----------------------------------------------------------------
  bool Active() { return !IsClosed(); }
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // --- naming ---------------------------------------------------------------
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  bool AutoSessionName() const { return FAutoSessionName; }
  void SetAutoSessionName(bool Value);
  int32_t SessionNumber() const { return FSessionNumber; }
  void SetName(const std::string& NewName) override;

  // --- properties -----------------------------------------------------------
  bool KeepConnections() const { return FKeepConnections; }
  void SetKeepConnections(bool Value) { FKeepConnections = Value; }
  bool SQLHourGlass() const { return FSQLHourGlass; }
  void SetSQLHourGlass(bool Value) { FSQLHourGlass = Value; }
  const std::string& ServerName() const { return FServerName; }
  void SetServerName(const std::string& Value);
  const std::string& ServerAdminUser() const { return FDtiUserName; }
  void SetServerAdminUser(const std::string& Value);
  const std::string& ServerAdminPassword() const { return FDtiPassword; }
  void SetServerAdminPassword(const std::string& Value);
  bool ServerAdminLoginPrompt() const { return FDtiLoginPrompt; }
  void SetServerAdminLoginPrompt(bool Value);
  TConfigMode ConfigMode() const { return FConfigMode; }
  void SetConfigMode(TConfigMode Value) { FConfigMode = Value; }
  std::string NetFileDir() const;
  void SetNetFileDir(const std::string& Value) { FNetFileDir = Value; }
  std::string PrivateDir() const;
  void SetPrivateDir(const std::string& Value) { FPrivateDir = Value; }
  // True when ServerName is empty or names this computer (ignoring case).
  bool LocalSystem() const;
  const std::string& UserName() const { return FUserName; }

  TPasswordEvent OnPassword;
  TDatabaseNotifyEvent OnDBNotify;
  TNotifyEvent OnStartup;

  // --- databases ------------------------------------------------------------
  int32_t DatabaseCount() const { return static_cast<int32_t>(FDatabases.size()); }
  TPvAbsDatabase* Databases(int32_t Index) const;
  TPvAbsDatabase* OpenDatabase(const std::string& DatabaseName) { return DoOpenDatabase(DatabaseName, nullptr); }
  TPvAbsDatabase* DoOpenDatabase(const std::string& DatabaseName, TComponent* AOwner);
  TPvAbsDatabase* FindDatabase(const std::string& DatabaseName);
  TPvAbsDatabase* DoFindDatabase(const std::string& DatabaseName, TComponent* AOwner);
  void CloseDatabase(TPvAbsDatabase* Database);
  void DropConnections();
  void GetDatabaseNames(TStrings* List);
  void DBNotification(TDatabaseEvent DBEvent, const void* Param);
  void AddDatabase(TPvAbsDatabase* Database);
  void RemoveDatabase(TPvAbsDatabase* Database);

  // --- passwords ------------------------------------------------------------
  void AddPassword(const std::string& Password) override;
  void RemovePassword(const std::string& Password) override;
  void RemoveAllPasswords() override;
  const TStringList& Passwords() const { return FPasswords; }
  // OnPassword when set, otherwise the password dialog; true to retry.
  bool GetPassword();

  // --- hourglass ------------------------------------------------------------
  TCursor SetSQLHourGlassOnScreen();
  void RestoreFromSQLHourGlassOnScreen();

  // --- aliases (session store; the engine store comes with the alias
  // machinery and raises "not supported yet" until then) ---------------------
  void AddAlias(const std::string& Name, TStrings* List) { AddAliasEx(Name, List, true, FConfigMode); }
  void AddAliasEx(const std::string& Name, TStrings* List, bool Restore, TConfigMode Mode);
  void ModifyAlias(const std::string& Name, TStrings* List);
  void DeleteAlias(const std::string& Name) { RemoveAlias(Name, FConfigMode, true); }
  void RemoveAlias(const std::string& Name, TConfigMode Mode, bool Restore);
  bool IsAlias(const std::string& Name);
  void SaveConfigFile();
  void GetConfigParams(const std::string& Path, const std::string& Section, TStrings* List);
  // True when ConfigMode addresses the session store.
  bool IsSessionStore() const;
  void SetConfigModeFrom(TConfigMode Mode);

  // --- administration (not built yet: each raises "not supported yet") -----
  uint32_t DtiHandle();
  TDtiConnectionHolder* DtiConnectionHolder();

  // --- virtual operations in slot order -------------------------------------
  virtual void CloseDatabaseHandle(TPvAbsDatabase* Database) = 0;
  virtual void GetDefaultAliasParams(TStrings* List) = 0;
  virtual bool IsClosed() const = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  virtual bool IsDataSetClass(TComponent* Component) const = 0;
  virtual bool IsDatabaseClass(TComponent* Component) const = 0;
  virtual TPvAbsDatabase* CreateDatabase(TComponent* AOwner) = 0;
  virtual TPvAbsSessionList* SessionList() const = 0;
  virtual TPvAbsSession* DefaultSession() const = 0;
  virtual void DropNamedDatabase(const std::string& Name) = 0;
  virtual bool PrepareAliasParams(const std::string& Name, TStrings* List, TStrings* Dest, bool IsNew) = 0;
  virtual void WriteAlias(const std::string& Name, TStrings* Params, bool IsNew) = 0;
  virtual void SetActiveState(bool Value);
  virtual void AddStandardAlias(const std::string& Name, const std::string& Path) = 0;
  virtual void GetAliasNames(TStrings* List) = 0;
  virtual void GetAliasParams(const std::string& Name, TStrings* List) = 0;
  virtual void GetTableNames(const std::string& DatabaseName, const std::string& Pattern, bool Extensions,
                             bool SystemTables, TStrings* List) = 0;
  virtual void GetStoredProcNames(const std::string& DatabaseName, TStrings* List) = 0;

  // IPvSessionDescription
  std::string DescSessionName() const override { return FSessionName; }

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Shutdown() override;
  void CheckInactive();
  void StoreAlias(const std::string& Name, TStrings* List, bool IsNew);

  std::string FUserName;
  TAliasList FSessionAliases;
  TAliasList FModifiedAliases;

 private:
  friend class TPvAbsDatabase;
  friend class TPvDatabase;

  void UpdateAutoSessionName();
  void UpdateSessionNames();
  void CheckSessionNames(TComponent* AOwner, bool Enable);

  TStringList FPasswords;
  bool FStreamedActive = false;
  bool FKeepConnections = true;
  bool FSQLHourGlass = true;
  bool FAutoSessionName = false;
  bool FUpdatingAutoSessionName = false;
  int32_t FSessionNumber = 0;
  std::string FNetFileDir;
  std::string FPrivateDir;
  TConfigMode FConfigMode = AllConfigModes;
  std::string FServerName;
  std::string FDtiUserName;
  std::string FDtiPassword;
  std::string FDtiUserNameDesign;
  std::string FDtiPasswordDesign;
  bool FDtiLoginPrompt = false;
  bool FGotLoginData = false;
  std::vector<TPvAbsDatabase*> FDatabases;
  std::string FSessionName;
  bool FInSessionList = false;
};

// The session over the engine client library.
class TPvSession : public TPvAbsSession {
 public:
  TPvSession() = default;
  void AfterConstruction() override;

  // The engine session handle; begins the engine session when there is none.
  uint32_t Handle();
  // Raises for a non-zero status on behalf of Component (the session when
  // null).
  void CheckStatus(int32_t Status, TComponent* Component = nullptr);

  void CloseDatabaseHandle(TPvAbsDatabase* Database) override;
  void GetDefaultAliasParams(TStrings* List) override;
  bool IsClosed() const override { return FHandle == 0; }
  void Lock() override;
  void Unlock() override;
  bool IsDataSetClass(TComponent* Component) const override;
  bool IsDatabaseClass(TComponent* Component) const override;
  TPvAbsDatabase* CreateDatabase(TComponent* AOwner) override;
  TPvAbsSessionList* SessionList() const override;
  TPvAbsSession* DefaultSession() const override;
  void DropNamedDatabase(const std::string& Name) override;
  bool PrepareAliasParams(const std::string& Name, TStrings* List, TStrings* Dest, bool IsNew) override;
  void WriteAlias(const std::string& Name, TStrings* Params, bool IsNew) override;
  void SetActiveState(bool Value) override;
  void AddStandardAlias(const std::string& Name, const std::string& Path) override;
  void GetAliasNames(TStrings* List) override;
  void GetAliasParams(const std::string& Name, TStrings* List) override;
  void GetTableNames(const std::string& DatabaseName, const std::string& Pattern, bool Extensions,
                     bool SystemTables, TStrings* List) override;
  void GetStoredProcNames(const std::string& DatabaseName, TStrings* List) override;

  // The engine handle of the first connected database of this session named
  // Name (ignoring case) that shares its handle; 0 when none.
  uint32_t FindSharedHandle(const std::string& Name) const;

  uint32_t DescSessionHandle() const override { return FHandle; }

 private:
  void BeginEngineSession();
  void EndEngineSession();

  uint32_t FHandle = 0;
  int32_t FLockCount = 0;
  std::string FPassword;
};

// Shows the wait cursor of a session for the scope's duration.
class THourGlass {
 public:
  explicit THourGlass(TPvAbsSession* Session) : FSession(Session) {
    if (FSession != nullptr) FSession->SetSQLHourGlassOnScreen();
  }
  ~THourGlass() {
    if (FSession != nullptr) FSession->RestoreFromSQLHourGlassOnScreen();
  }
  THourGlass(const THourGlass&) = delete;
  THourGlass& operator=(const THourGlass&) = delete;

 private:
  TPvAbsSession* FSession;
};

}  // namespace dac
