#pragma once
// Database connections: TPvAbsDatabase, the engine-independent connection,
// and TPvDatabase, one engine database opened in its session's engine
// session. Datasets name a database by DatabaseName; a session creates
// temporary databases for names nobody placed.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalog/table_collection.h"
#include "errors/error_interfaces.h"
#include "platform/db/custom_connection.h"
#include "platform/rtl/strings.h"
#include "sessions/session_types.h"

namespace dac {

class TPvAbsSession;
class TPvSession;
class TPvAbsSessionList;
class TDataSet;

class TPvAbsDatabase : public TCustomConnection, public IPvDatabaseDescription {
 public:
  TPvAbsDatabase();
  ~TPvAbsDatabase() override;
  void AfterConstruction() override;

  // --- properties -----------------------------------------------------------
  const std::string& AliasName() const { return FAliasName; }
  void SetAliasName(const std::string& Value);
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value);
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Value);
  bool HandleShared() const { return FHandleShared; }
  void SetHandleShared(bool Value) { FHandleShared = Value; }
  bool KeepConnection() const { return FKeepConnection; }
  void SetKeepConnection(bool Value);
  bool LoginPromptOnlyIfNecessary() const { return FLoginPromptOnlyIfNecessary; }
  void SetLoginPromptOnlyIfNecessary(bool Value) { FLoginPromptOnlyIfNecessary = Value; }
  TStrings* Params() const { return FParams.get(); }
  void SetParams(TStrings* Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  TTransIsolation TransIsolation() const { return FTransIsolation; }
  void SetTransIsolation(TTransIsolation Value) { FTransIsolation = Value; }
  TDatabaseLoginEvent OnLogin;

  std::string Directory() { return GetDirectory(); }
  void SetDirectory(const std::string& Value) { SetDirectoryValue(Value); }
  bool IsSQLBased() const { return FSQLBased; }
  bool InTransaction() const { return FIsInTransaction; }
  TPvAbsSession* Session() const { return FSession; }
  bool Temporary() const { return FTemporary; }
  void SetTemporary(bool Value) { FTemporary = Value; }
  bool SessionAlias() const { return FSessionAlias; }
  int32_t RefCount() const { return FRefCount; }
  // True while the database disconnects (its datasets are being closed).
  bool Closing() const { return FClosing; }

  // --- operations -----------------------------------------------------------
  void CheckActive();
  void CheckInactive();
  void CheckDatabaseName();
  void Commit();
  void Rollback();
  // Needs cached updates: raises "not supported yet" until they exist.
  void ApplyUpdates(const std::vector<TDataSet*>& DataSets);

  // --- virtual operations in slot order -------------------------------------
  virtual void EndTransaction(bool Rollback) = 0;
  virtual bool IsClosed() const = 0;
  virtual void AskLogin(TStrings* LoginParams);
  virtual TPvAbsSession* DefaultSessionFor(TComponent* AOwner) = 0;
  virtual TPvAbsSessionList* SessionList() = 0;
  virtual TPvAbsSession* DefaultSession() = 0;
  virtual void ClearSQLBased() { FSQLBased = false; }
  virtual std::string GetDirectory() { return std::string(); }
  virtual void SetDirectoryValue(const std::string& Value);
  virtual void FlushSchemaCache(const std::string& TableName) { (void)TableName; }
  virtual void StartTransaction() = 0;

  // IPvDatabaseDescription
  bool DescIsTemporary() const override { return FTemporary; }
  TComponent* DescFirstDataSet() const override;

 protected:
  bool GetConnected() override;
  void DoDisconnect() override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Shutdown() override;

  void ValidateName(const std::string& Name);
  void AttachSession(bool Activate);
  // Password for the connect; may prompt, may add a session alias.
  std::string PrepareLogin(bool ForcePrompt);
  bool MergeAliasParams(TStrings* List);
  void RemoveSessionAlias(bool RestoreMode);

  bool FIsInTransaction = false;
  bool FAcquiredHandle = false;
  bool FSessionAlias = false;

 private:
  friend class TPvAbsSession;

  bool FLoginPromptOnlyIfNecessary = true;
  bool FKeepConnection = true;
  bool FTemporary = false;
  bool FClosing = false;
  bool FHandleShared = false;
  bool FReadOnly = false;
  int32_t FRefCount = 0;
  std::string FSessionName;
  std::string FAliasName;
  std::string FDatabaseName;
  bool FExclusive = false;
  std::unique_ptr<TStringList> FParams;
  TPvAbsSession* FSession = nullptr;
  bool FSQLBased = false;
  TTransIsolation FTransIsolation = tiReadCommitted;
};

class TPvDatabase : public TPvAbsDatabase {
 public:
  TPvDatabase() = default;
  void AfterConstruction() override;

  uint32_t Handle() const { return FHandle; }
  void SetHandle(uint32_t Value);
  bool OEMConversion() const { return FOEMConversion; }
  void SetOEMConversion(bool Value);
  bool IsSecured();
  TDRMTableCollection* Tables();
  TDRMTableCollection* StoredProcs();
  const std::string& TransactSavepointName() const { return FTransactSavepointName; }
  // The session as the engine-bound session it is.
  TPvSession* PvSession() const;
  // CheckStatus of the session with this database as component.
  void CheckStatus(int32_t Status);

  void EndTransaction(bool Rollback) override;
  bool IsClosed() const override { return FHandle == 0; }
  TPvAbsSession* DefaultSessionFor(TComponent* AOwner) override;
  TPvAbsSessionList* SessionList() override;
  TPvAbsSession* DefaultSession() override;
  std::string GetDirectory() override;
  void FlushSchemaCache(const std::string& TableName) override;
  void StartTransaction() override;

 protected:
  void DoConnect() override;
  void DoDisconnect() override;

 private:
  void TryShareHandle();
  // One engine open of the database named Name; the engine's status.
  int32_t OpenEngineDatabase(const std::string& Name, const std::string& Password);
  // True when the ODBC data source named Name has a translation library.
  static bool HasTranslationDll(const std::string& Name);

  uint32_t FHandle = 0;
  std::unique_ptr<TDRMTableCollection> FTables;
  std::unique_ptr<TDRMTableCollection> FStoredProcs;
  std::string FTransactSavepointName;
  bool FOEMConversion = false;
};

}  // namespace dac
