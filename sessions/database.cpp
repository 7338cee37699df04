#include "sessions/database.h"

#include <algorithm>
#include <utility>

#include "engine/drm.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/trace.h"
#include "platform/db/dataset.h"
#include "platform/desktop/application.h"
#include "platform/desktop/computer_name.h"
#include "platform/desktop/dialogs.h"
#include "platform/desktop/odbc_data_sources.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/text.h"
#include "sessions/session.h"
#include "sessions/session_list.h"

namespace dac {

namespace {
bool DesignTime(const TComponent* c) { return c->ComponentState().Contains(csDesigning); }
bool Reading(const TComponent* c) { return c->ComponentState().Contains(csReading); }

// Engine answers to an open that mean "the login was refused".
bool LoginRefused(int32_t status) {
  return status == DRM_ERR_INVALID_PASSWORD || status == DRM_ERR_INVALID_ACCOUNT ||
         status == DRM_ERR_USER_NAME_MISSING || status == DRM_ERR_ACCOUNT_NOT_ALLOWED;
}
}  // namespace

// ---------------------------------------------------------------------------
// TPvAbsDatabase
// ---------------------------------------------------------------------------

TPvAbsDatabase::TPvAbsDatabase() : FParams(std::make_unique<TStringList>()) {}

TPvAbsDatabase::~TPvAbsDatabase() = default;

void TPvAbsDatabase::AfterConstruction() {
  TCustomConnection::AfterConstruction();
  // A session may have stored itself while this database was inserted into
  // its owner.
  if (FSession == nullptr) FSession = DefaultSessionFor(Owner());
  FSessionName = FSession->SessionName();
  FSession->AddDatabase(this);
  // Checked before the change, so that a refused line never reaches the
  // next connect.
  FParams->SetOnChanging([this](TObject*) { CheckInactive(); });
  SetLoginPrompt(true);
  FLoginPromptOnlyIfNecessary = true;
  FKeepConnection = true;
  FTransIsolation = tiReadCommitted;
  FIsInTransaction = false;
}

void TPvAbsDatabase::Shutdown() {
  RunAll([this] { Close(); },
         [this] {
           if (FSession != nullptr) std::exchange(FSession, nullptr)->RemoveDatabase(this);
           FParams->SetOnChanging(nullptr);
         },
         [this] { TCustomConnection::Shutdown(); });
}

bool TPvAbsDatabase::GetConnected() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsDatabase.GetConnected");
  return !IsClosed();
}

TComponent* TPvAbsDatabase::DescFirstDataSet() const { return DataSetCount() > 0 ? DataSets(0) : nullptr; }

void TPvAbsDatabase::CheckActive() {
  if (!Connected()) PvDatabaseError(this, SDatabaseClosed);
}

void TPvAbsDatabase::CheckInactive() {
  if (!Connected()) return;
  if (DesignTime(this))
    Close();
  else
    PvDatabaseError(this, SDatabaseOpen);
}

void TPvAbsDatabase::CheckDatabaseName() {
  if (FDatabaseName.empty() && !FTemporary) PvDatabaseError(this, SDatabaseNameMissing);
}

void TPvAbsDatabase::SetAliasName(const std::string& Value) {
  CheckInactive();
  FAliasName = Value;
}

void TPvAbsDatabase::SetParams(TStrings* Value) {
  CheckInactive();
  FParams->Assign(Value);
}

void TPvAbsDatabase::SetExclusive(bool Value) {
  CheckInactive();
  FExclusive = Value;
}

void TPvAbsDatabase::SetReadOnly(bool Value) {
  CheckInactive();
  FReadOnly = Value;
}

void TPvAbsDatabase::SetDatabaseName(const std::string& Value) {
  if (Reading(this)) {
    FDatabaseName = Value;
    return;
  }
  if (Value == FDatabaseName) return;
  CheckInactive();
  ValidateName(Value);
  FDatabaseName = Value;
}

void TPvAbsDatabase::SetSessionName(const std::string& Value) {
  if (Reading(this)) {
    FSessionName = Value;
    return;
  }
  CheckInactive();
  if (Value == FSessionName) return;
  FSessionName = Value;
  AttachSession(false);
}

void TPvAbsDatabase::SetKeepConnection(bool Value) {
  if (Value == FKeepConnection) return;
  FKeepConnection = Value;
  if (!Value && FRefCount == 0) Close();
}

void TPvAbsDatabase::SetDirectoryValue(const std::string& Value) {
  (void)Value;
  PvDatabaseError(this, SNoDirectoryAssignment);
}

void TPvAbsDatabase::ValidateName(const std::string& Name) {
  if (Name.empty() || FSession == nullptr) return;
  TPvAbsDatabase* other = FSession->FindDatabase(Name);
  if (other == nullptr || other == this || (other->HandleShared() && HandleShared())) return;
  if (!other->Temporary() || other->FRefCount != 0) PvDatabaseErrorFmt(this, SDuplicateDatabaseName, Name);
  // A temporary database nobody uses gives way.
  other->Free();
}

void TPvAbsDatabase::AttachSession(bool Activate) {
  TPvAbsSessionList* list = SessionList();
  TPvAbsSession* s = Activate ? list->GetSessionByName(FSessionName) : list->FindSession(FSessionName);
  if (s != nullptr && s != FSession) {
    if (FSession != nullptr) FSession->RemoveDatabase(this);
    FSession = s;
    s->AddDatabase(this);
    // A name the new session cannot take is dropped.
    Finally dropName([this] { FDatabaseName.clear(); });
    ValidateName(FDatabaseName);
    dropName.Dismiss();
  }
  if (Activate && s != nullptr) s->SetActive(true);
}

void TPvAbsDatabase::Loaded() {
  TCustomConnection::Loaded();
  if (!StreamedConnected()) AttachSession(false);
}

void TPvAbsDatabase::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomConnection::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent == nullptr || AComponent != FSession) return;
  TPvAbsSession* dying = FSession;
  TPvAbsSession* next = DefaultSession();
  if (next == dying) next = nullptr;
  CleanupStep([this] { Close(); });
  FSession = next;
  if (next != nullptr) {
    FSessionName = next->SessionName();
    next->AddDatabase(this);
  }
}

void TPvAbsDatabase::AskLogin(TStrings* LoginParams) {
  if (OnLogin) {
    OnLogin(this, LoginParams);
  } else {
    std::string user = LoginParams->Values("USER NAME");
    std::string password;
    if (!LoginDialogEx(FDatabaseName, user, password, false)) PvDatabaseErrorFmt(this, SLoginError, FDatabaseName);
    LoginParams->SetValues("USER NAME", user);
    LoginParams->SetValues("PASSWORD", password);
  }
  Application()->ProcessMessages();
}

std::string TPvAbsDatabase::PrepareLogin(bool ForcePrompt) {
  std::string password;
  FSessionAlias = false;
  TStringList aliasParams;
  if (!FAliasName.empty() && FAliasName.find('\\') == std::string::npos) {
    try {
      FSession->GetAliasParams(FAliasName, &aliasParams);
    } catch (const Exception&) {
      // An alias that cannot be read is opened with the default parameters.
      FSession->GetDefaultAliasParams(&aliasParams);
    }
  } else {
    FSession->GetDefaultAliasParams(&aliasParams);
  }
  if (ForcePrompt || (LoginPrompt() && !FLoginPromptOnlyIfNecessary)) {
    if (FParams->Values("USER NAME").empty()) FParams->SetValues("USER NAME", aliasParams.Values("USER NAME"));
    TStringList loginParams;
    loginParams.SetValues("USER NAME", FParams->Values("USER NAME"));
    AskLogin(&loginParams);
    password = loginParams.Values("PASSWORD");
    FParams->SetValues("USER NAME", loginParams.Values("USER NAME"));
  } else {
    password = FParams->Values("PASSWORD");
  }
  if (MergeAliasParams(&aliasParams)) {
    FSession->AddAliasEx(FDatabaseName, &aliasParams, false, TConfigMode{cfmSession});
    FSessionAlias = true;
  }
  return password;
}

bool TPvAbsDatabase::MergeAliasParams(TStrings* List) {
  bool result = !FAliasName.empty() && FAliasName != FDatabaseName;
  for (int32_t i = 0; i < FParams->Count(); ++i) {
    const std::string line = FParams->Strings(i);
    if (List->IndexOf(line) >= 0) continue;
    const std::string name = FParams->Names(i);
    if (SameText(name, "PASSWORD")) continue;
    const int32_t at = List->IndexOfName(name);
    if (at >= 0) {
      List->SetValueFromIndex(at, FParams->ValueFromIndex(i));
      result = true;
    }
  }
  return result;
}

void TPvAbsDatabase::RemoveSessionAlias(bool RestoreMode) {
  if (!FSessionAlias || FSession == nullptr) return;
  FSessionAlias = false;
  FSession->RemoveAlias(FDatabaseName, TConfigMode{cfmSession}, RestoreMode);
}

void TPvAbsDatabase::DoDisconnect() {
  // Closing the datasets releases their hold on this database; the session
  // must not close or free it again from inside this close.
  FClosing = true;
  Finally closed([this] { FClosing = false; });
  FSession->DBNotification(dbClose, this);
  CloseDataSets();
  while (FIsInTransaction) Rollback();
  if (FAcquiredHandle)
    FAcquiredHandle = false;
  else
    FSession->CloseDatabaseHandle(this);
  FSQLBased = false;
  FRefCount = 0;
  RemoveSessionAlias(true);
}

void TPvAbsDatabase::Commit() {
  CheckActive();
  EndTransaction(false);
}

void TPvAbsDatabase::Rollback() {
  CheckActive();
  EndTransaction(true);
}

void TPvAbsDatabase::ApplyUpdates(const std::vector<TDataSet*>& DataSets) {
  (void)DataSets;
  PvDatabaseErrorFmt(this, SNotSupportedYet, "Applying cached updates (ApplyUpdates)");
}

// ---------------------------------------------------------------------------
// TPvDatabase
// ---------------------------------------------------------------------------

void TPvDatabase::AfterConstruction() {
  TPvAbsDatabase::AfterConstruction();
  FTables = std::make_unique<TDRMTableCollection>(this);
  FStoredProcs = std::make_unique<TDRMTableCollection>(this);
}

TPvSession* TPvDatabase::PvSession() const { return dynamic_cast<TPvSession*>(Session()); }

void TPvDatabase::CheckStatus(int32_t Status) {
  if (Status != 0) dac::CheckStatus(Session(), Status, this);
}

TPvAbsSession* TPvDatabase::DefaultSessionFor(TComponent* AOwner) {
  if (auto* s = dynamic_cast<TPvSession*>(AOwner)) return s;
  return DefaultSession();
}

TPvAbsSessionList* TPvDatabase::SessionList() { return Sessions(); }

TPvAbsSession* TPvDatabase::DefaultSession() { return DefaultPvSession(); }

void TPvDatabase::SetOEMConversion(bool Value) {
  CheckInactive();
  FOEMConversion = Value;
}

bool TPvDatabase::HasTranslationDll(const std::string& Name) {
  return !OdbcDataSourceValue(Name, "TranslationDLL").empty();
}

void TPvDatabase::DoConnect() {
  if (FHandle != 0) return;
  CheckDatabaseName();
  AttachSession(true);
  if (HandleShared()) {
    TryShareHandle();
    if (!IsClosed()) return;
  }
  TPvSession* session = PvSession();
  session->Lock();
  const bool savedPrompt = session->FDtiLoginPrompt;
  const TConfigMode savedMode = session->ConfigMode();
  session->FDtiLoginPrompt = false;
  Finally restore([&] {
    session->FDtiLoginPrompt = savedPrompt;
    session->SetConfigMode(savedMode);
    session->Unlock();
  });
  std::string password = PrepareLogin(false);
  // A failed connect leaves neither a handle nor the session alias behind.
  Finally undo([this] {
    FHandle = 0;
    RemoveSessionAlias(false);
  });
  const std::string name = AliasName().empty() ? DatabaseName() : AliasName();
  THourGlass hg(session);
  for (int attempt = 1;; ++attempt) {
    const int32_t status = OpenEngineDatabase(name, password);
    if (LoginRefused(status) && attempt == 1 && LoginPromptOnlyIfNecessary() && LoginPrompt()) {
      if (FSessionAlias) {
        RemoveSessionAlias(false);
        session->SetConfigMode(savedMode);
      }
      password = PrepareLogin(true);
      continue;
    }
    CheckStatus(status);
    break;
  }
  ClearSQLBased();
  session->DBNotification(dbOpen, this);
  undo.Dismiss();
}

int32_t TPvDatabase::OpenEngineDatabase(const std::string& Name, const std::string& Password) {
  TPvSession* session = PvSession();
  int32_t mode = Exclusive() ? DRM_DBOPEN_EXCLUSIVE : DRM_DBOPEN_NORMAL;
  if (HasTranslationDll(Name)) FOEMConversion = true;
  if (FOEMConversion) mode |= DRM_DBOPEN_OEM;
  std::string host = session->ServerName();
  if (host.empty() || host == "localhost") host = Trim(ComputerName());
  const std::string target = host + '\t' + Name;
  std::string user = Params()->Values("USER NAME");
  std::string pass = Password;
  if (!session->ServerAdminUser().empty() && !session->ServerAdminPassword().empty()) {
    user += "___" + session->ServerAdminUser();
    pass = Password + "___" + session->ServerAdminPassword();
  }
  return RareOpenDatabase(session->Handle(), target.c_str(), &FHandle, mode, user.c_str(), pass.c_str());
}

void TPvDatabase::DoDisconnect() {
  if (FHandle == 0) return;
  TPvAbsDatabase::DoDisconnect();
  FHandle = 0;
  if (FTables) FTables->Clear();
  if (FStoredProcs) FStoredProcs->Clear();
}

void TPvDatabase::TryShareHandle() {
  SetHandle(PvSession()->FindSharedHandle(DatabaseName()));
  FAcquiredHandle = false;
}

void TPvDatabase::SetHandle(uint32_t Value) {
  if (Connected()) Close();
  if (Value == 0) return;
  CheckDatabaseName();
  AttachSession(true);
  bool owned = false;
  for (int32_t i = 0; i < Session()->DatabaseCount() && !owned; ++i) {
    auto* db = dynamic_cast<TPvDatabase*>(Session()->Databases(i));
    owned = db != nullptr && db->FHandle == Value;
  }
  if (!owned) PvDatabaseError(this, SDatabaseHandleSet);
  FHandle = Value;
  ClearSQLBased();
  Session()->DBNotification(dbOpen, this);
  FAcquiredHandle = true;
}

bool TPvDatabase::IsSecured() {
  CheckActive();
  uint16_t secured = 0;
  CheckStatus(RareIsDatabaseSecured(FHandle, &secured));
  return secured != 0;
}

TDRMTableCollection* TPvDatabase::Tables() {
  CheckActive();
  if (!FTables->Filled()) {
    THourGlass hg(Session());
    FTables->SetTableNames(static_cast<int32_t>(PvSession()->Handle()), FHandle);
  }
  return FTables.get();
}

TDRMTableCollection* TPvDatabase::StoredProcs() {
  CheckActive();
  if (!FStoredProcs->Filled()) {
    THourGlass hg(Session());
    FStoredProcs->SetStoredProcs(static_cast<int32_t>(PvSession()->Handle()), FHandle);
  }
  return FStoredProcs.get();
}

void TPvDatabase::FlushSchemaCache(const std::string& TableName) {
  (void)TableName;
  if (Connected()) FTables->Clear();
}

std::string TPvDatabase::GetDirectory() {
  if (!Session()->LocalSystem()) return std::string();
  TStringList params;
  Session()->GetAliasParams(AliasName().empty() ? DatabaseName() : AliasName(), &params);
  return params.Values("DDF_PATH");
}

void TPvDatabase::StartTransaction() {
  CheckActive();
  if (FIsInTransaction) PvDatabaseError(this, SNestedTransactions);
  TPvSession* session = PvSession();
  THourGlass hg(session);
  const uint32_t ses = session->Handle();
  CheckStatus(RareSetSessionOption(ses, DRM_SESOPT_ISOLATION, DRM_ISOLATION_READ_COMMITTED));
  FTransactSavepointName = Name();
  int32_t status = RareSetTransact(ses, DRM_TRANS_START, FTransactSavepointName.c_str());
  for (int32_t n = 0; status == DRM_ERR_SAVEPOINT_IN_USE; ++n) {
    FTransactSavepointName = Name() + Format("%d", n);
    status = RareSetTransact(ses, DRM_TRANS_START, FTransactSavepointName.c_str());
  }
  CheckStatus(status);
  FIsInTransaction = true;
}

void TPvDatabase::EndTransaction(bool Rollback) {
  if (!FIsInTransaction) PvDatabaseError(this, SNotInTransaction);
  TPvSession* session = PvSession();
  THourGlass hg(session);
  CheckStatus(RareSetTransact(session->Handle(), Rollback ? DRM_TRANS_ROLLBACK : DRM_TRANS_COMMIT,
                              FTransactSavepointName.c_str()));
  FIsInTransaction = false;
}

}  // namespace dac
