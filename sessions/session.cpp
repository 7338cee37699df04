#include "sessions/session.h"

#include <algorithm>
#include <mutex>

#include "engine/drm.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/trace.h"
#include "platform/desktop/application.h"
#include "platform/desktop/computer_name.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"
#include "sessions/database.h"
#include "sessions/match_pattern.h"
#include "sessions/session_list.h"

namespace dac {

// ---------------------------------------------------------------------------
// Hourglass
// ---------------------------------------------------------------------------

namespace {
std::mutex& HourGlassMutex() {
  static std::mutex m;
  return m;
}
int32_t GHourGlassCount = 0;
TCursor GSavedCursor = crDefault;

bool DesignTime(const TComponent* c) { return c->ComponentState().Contains(csDesigning); }
}  // namespace

TCursor GlobalSetSQLHourGlassOnScreen(bool Enabled) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "GlobalSetSQLHourGlassOnScreen");
  TCursor result = Screen().Cursor();
  if (Enabled) {
    std::lock_guard<std::mutex> guard(HourGlassMutex());
    if (GHourGlassCount == 0 && Screen().Cursor() != crSQLWait) {
      GSavedCursor = Screen().Cursor();
      Screen().SetCursor(crSQLWait);
    }
    ++GHourGlassCount;
  }
  return result;
}

void GlobalRestoreFromSQLHourGlassOnScreen(bool Enabled) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "GlobalRestoreFromSQLHourGlassOnScreen");
  if (!Enabled) return;
  std::lock_guard<std::mutex> guard(HourGlassMutex());
  if (GHourGlassCount == 0) return;
  if (--GHourGlassCount == 0 && Screen().Cursor() == crSQLWait) Screen().SetCursor(GSavedCursor);
}

// ---------------------------------------------------------------------------
// TPvAbsSession
// ---------------------------------------------------------------------------

TPvAbsSession::TPvAbsSession() {
  FPasswords.SetSorted(true);
  FPasswords.SetDuplicates(dupIgnore);
  FPasswords.SetCaseSensitive(false);
}

TPvAbsSession::~TPvAbsSession() = default;

void TPvAbsSession::AfterConstruction() {
  TComponent::AfterConstruction();
  CheckSessionNames(Owner(), false);
  FKeepConnections = true;
  FSQLHourGlass = true;
  SessionList()->AddSession(this);
  FInSessionList = true;
  FConfigMode = AllConfigModes;
  FGotLoginData = false;
}

void TPvAbsSession::Shutdown() {
  RunAll([this] { SetActive(false); },
         [this] {
           if (FInSessionList) {
             FInSessionList = false;
             SessionList()->RemoveSession(this);
           }
           FDatabases.clear();
           FPasswords.Clear();
           FSessionAliases.Clear();
           FModifiedAliases.Clear();
         },
         [this] { TComponent::Shutdown(); });
}

void TPvAbsSession::SetActive(bool Value) {
  if (ComponentState().Contains(csReading)) {
    FStreamedActive = Value;
    return;
  }
  if (Value != Active()) SetActiveState(Value);
}

void TPvAbsSession::SetActiveState(bool Value) {
  // Ending a session drops its administration connection; that connection
  // does not exist yet, so there is nothing to drop.
  (void)Value;
}

void TPvAbsSession::Loaded() {
  TComponent::Loaded();
  try {
    if (FAutoSessionName) UpdateSessionNames();
    if (FStreamedActive) SetActive(true);
  } catch (...) {
    if (DesignTime(this))
      Application()->HandleException(this);
    else
      throw;
  }
}

void TPvAbsSession::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove) {
    if (auto* db = dynamic_cast<TPvAbsDatabase*>(AComponent)) {
      auto it = std::find(FDatabases.begin(), FDatabases.end(), db);
      if (it != FDatabases.end()) FDatabases.erase(it);
    }
    return;
  }
  if (!FAutoSessionName || Owner() == nullptr || AComponent->Owner() != Owner()) return;
  if (IsDataSetClass(AComponent)) {
    if (auto* ds = dynamic_cast<IPvSessionBoundDataSet*>(AComponent)) ds->StoreBoundSessionName(FSessionName);
  } else if (IsDatabaseClass(AComponent)) {
    static_cast<TPvAbsDatabase*>(AComponent)->FSession = this;
  }
}

void TPvAbsSession::CheckInactive() {
  if (Active()) PvDatabaseError(this, SSessionActive);
}

void TPvAbsSession::SetSessionName(const std::string& Value) {
  if (FAutoSessionName && !FUpdatingAutoSessionName) PvDatabaseError(this, SAutoSessionActive);
  CheckInactive();
  if (!Value.empty()) {
    TPvAbsSession* other = SessionList()->FindSession(Value);
    if (other != nullptr && other != this) PvDatabaseErrorFmt(this, SDuplicateSessionName, Value);
  }
  FSessionName = Value;
}

void TPvAbsSession::SetAutoSessionName(bool Value) {
  if (Value == FAutoSessionName) return;
  if (Value) {
    CheckInactive();
    CheckSessionNames(Owner(), true);
    FSessionNumber = -1;
    {
      Lock();
      Finally unlock([this] { Unlock(); });
      TBits& numbers = SessionList()->SessionNumbers();
      FSessionNumber = numbers.OpenBit();
      numbers.SetOn(FSessionNumber);
    }
    UpdateAutoSessionName();
    FAutoSessionName = true;
  } else {
    if (FSessionNumber >= 0) {
      Lock();
      Finally unlock([this] { Unlock(); });
      SessionList()->SessionNumbers().Clear(FSessionNumber);
    }
    FAutoSessionName = false;
  }
}

void TPvAbsSession::SetName(const std::string& NewName) {
  TComponent::SetName(NewName);
  if (FAutoSessionName) UpdateAutoSessionName();
}

void TPvAbsSession::UpdateAutoSessionName() {
  {
    FUpdatingAutoSessionName = true;
    Finally updated([this] { FUpdatingAutoSessionName = false; });
    SetSessionName(Format("%s_%d", Name(), FSessionNumber + 1));
  }
  UpdateSessionNames();
}

void TPvAbsSession::UpdateSessionNames() {
  TComponent* owner = Owner();
  if (owner == nullptr) return;
  for (int32_t i = 0; i < owner->ComponentCount(); ++i) {
    TComponent* c = owner->Components(i);
    if (IsDataSetClass(c)) {
      if (auto* ds = dynamic_cast<IPvSessionBoundDataSet*>(c);
          ds != nullptr && !SameText(ds->BoundSessionName(), FSessionName))
        ds->SetBoundSessionName(FSessionName);
    } else if (IsDatabaseClass(c)) {
      auto* db = static_cast<TPvAbsDatabase*>(c);
      if (!SameText(db->SessionName(), FSessionName)) db->SetSessionName(FSessionName);
    }
  }
}

void TPvAbsSession::CheckSessionNames(TComponent* AOwner, bool Enable) {
  if (AOwner == nullptr) return;
  for (int32_t i = 0; i < AOwner->ComponentCount(); ++i) {
    auto* other = dynamic_cast<TPvAbsSession*>(AOwner->Components(i));
    if (other == nullptr || other == this || typeid(*other) != typeid(*this)) continue;
    if (Enable) PvDatabaseError(this, SAutoSessionExclusive);
    if (other->FAutoSessionName) PvDatabaseErrorFmt(this, SAutoSessionExists, other->Name());
  }
}

void TPvAbsSession::SetServerName(const std::string& Value) {
  if (Value == FServerName) return;
  if (!ComponentState().Contains(csReading)) {
    FGotLoginData = false;
    if (DesignTime(this)) {
      FDtiUserNameDesign = FDtiUserName;
      FDtiPasswordDesign = FDtiPassword;
    }
    Close();
  }
  FServerName = Value;
}

void TPvAbsSession::SetServerAdminUser(const std::string& Value) {
  if (Value == FDtiUserName) return;
  FDtiUserName = Value;
  FGotLoginData = false;
  if (DesignTime(this)) FDtiUserNameDesign = Value;
}

void TPvAbsSession::SetServerAdminPassword(const std::string& Value) {
  if (Value == FDtiPassword) return;
  FDtiPassword = Value;
  FGotLoginData = false;
  if (DesignTime(this)) FDtiPasswordDesign = Value;
}

void TPvAbsSession::SetServerAdminLoginPrompt(bool Value) {
  if (Value == FDtiLoginPrompt) return;
  FDtiLoginPrompt = Value;
  FGotLoginData = false;
  if (DesignTime(this)) {
    FDtiUserNameDesign = FDtiUserName;
    FDtiPasswordDesign = FDtiPassword;
  }
}

std::string TPvAbsSession::NetFileDir() const { return AnsiLowerCase(FNetFileDir); }
std::string TPvAbsSession::PrivateDir() const { return AnsiLowerCase(FPrivateDir); }

bool TPvAbsSession::LocalSystem() const {
  if (FServerName.empty()) return true;
  return SameText(FServerName, ComputerName());
}

TPvAbsDatabase* TPvAbsSession::Databases(int32_t Index) const {
  if (Index < 0 || Index >= DatabaseCount()) throw EListError(Format(SListIndexError, Index));
  return FDatabases[static_cast<size_t>(Index)];
}

void TPvAbsSession::AddDatabase(TPvAbsDatabase* Database) {
  FDatabases.push_back(Database);
  FreeNotification(Database);
  DBNotification(dbAdd, Database);
}

void TPvAbsSession::RemoveDatabase(TPvAbsDatabase* Database) {
  auto it = std::find(FDatabases.begin(), FDatabases.end(), Database);
  if (it == FDatabases.end()) return;
  FDatabases.erase(it);
  RemoveFreeNotification(Database);
  DBNotification(dbRemove, Database);
}

void TPvAbsSession::DBNotification(TDatabaseEvent DBEvent, const void* Param) {
  if (OnDBNotify) OnDBNotify(DBEvent, Param);
}

TPvAbsDatabase* TPvAbsSession::FindDatabase(const std::string& DatabaseName) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsSession.FindDatabase");
  for (TPvAbsDatabase* db : FDatabases)
    if ((!db->DatabaseName().empty() || db->Temporary()) && SameText(db->DatabaseName(), DatabaseName)) return db;
  return nullptr;
}

TPvAbsDatabase* TPvAbsSession::DoFindDatabase(const std::string& DatabaseName, TComponent* AOwner) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsSession.DoFindDatabase");
  if (AOwner != nullptr)
    for (TPvAbsDatabase* db : FDatabases)
      if (db->Owner() == AOwner && db->HandleShared() && SameText(db->DatabaseName(), DatabaseName)) return db;
  return FindDatabase(DatabaseName);
}

TPvAbsDatabase* TPvAbsSession::DoOpenDatabase(const std::string& DatabaseName, TComponent* AOwner) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsSession.DoOpenDatabase");
  TPvAbsDatabase* db = DoFindDatabase(DatabaseName, AOwner);
  TPvAbsDatabase* created = nullptr;
  // A database made here that cannot be opened is not left behind.
  Finally discard([&] { FreeObject(created); });
  if (db == nullptr) {
    db = created = CreateDatabase(this);
    db->SetDatabaseName(DatabaseName);
    db->SetKeepConnection(FKeepConnections);
    db->FTemporary = true;
  }
  db->Open();
  ++db->FRefCount;
  discard.Dismiss();
  return db;
}

void TPvAbsSession::CloseDatabase(TPvAbsDatabase* Database) {
  if (Database == nullptr) return;
  if (Database->FRefCount > 0) --Database->FRefCount;
  // A database that is closing already (its datasets let go of it inside
  // its own close) is neither closed again nor freed here.
  if (Database->FRefCount != 0 || Database->KeepConnection() || Database->Closing()) return;
  if (!Database->Temporary())
    Database->Close();
  else if (!Database->ComponentState().Contains(csDestroying))
    Database->Free();
}

void TPvAbsSession::DropConnections() {
  for (int32_t i = DatabaseCount() - 1; i >= 0; --i) {
    if (i >= DatabaseCount()) continue;
    TPvAbsDatabase* db = FDatabases[static_cast<size_t>(i)];
    if (db->Temporary() && db->FRefCount == 0) db->Free();
  }
}

void TPvAbsSession::GetDatabaseNames(TStrings* List) {
  TStringList names;
  names.SetSorted(true);
  names.SetDuplicates(dupIgnore);
  names.SetCaseSensitive(false);
  GetAliasNames(&names);
  for (TPvAbsDatabase* db : FDatabases) names.Add(db->DatabaseName());
  List->Assign(&names);
}

void TPvAbsSession::AddPassword(const std::string& Password) { FPasswords.Add(Password); }

void TPvAbsSession::RemovePassword(const std::string& Password) {
  int32_t i = FPasswords.IndexOf(Password);
  if (i >= 0) FPasswords.Delete(i);
}

void TPvAbsSession::RemoveAllPasswords() { FPasswords.Clear(); }

bool TPvAbsSession::GetPassword() {
  if (OnPassword) {
    bool cont = false;
    OnPassword(this, cont);
    return cont;
  }
  return ShowPasswordDialog(*this);
}

TCursor TPvAbsSession::SetSQLHourGlassOnScreen() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsSession.SetSQLHourGlassOnScreen");
  return GlobalSetSQLHourGlassOnScreen(FSQLHourGlass);
}

void TPvAbsSession::RestoreFromSQLHourGlassOnScreen() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsSession.RestoreFromSQLHourGlassOnScreen");
  GlobalRestoreFromSQLHourGlassOnScreen(FSQLHourGlass);
}

// ---------------------------------------------------------------------------
// TPvSession
// ---------------------------------------------------------------------------

void TPvSession::AfterConstruction() {
  TPvAbsSession::AfterConstruction();
  FHandle = 0;
  SetServerAdminUser(std::string());
  SetServerAdminPassword(std::string());
}

uint32_t TPvSession::Handle() {
  if (FHandle == 0) SetActive(true);
  return FHandle;
}

void TPvSession::CheckStatus(int32_t Status, TComponent* Component) {
  if (Status != 0) dac::CheckStatus(this, Status, Component != nullptr ? Component : this);
}

void TPvSession::SetActiveState(bool Value) {
  TPvAbsSession::SetActiveState(Value);
  Lock();
  Finally unlock([this] { Unlock(); });
  if (Value)
    BeginEngineSession();
  else
    EndEngineSession();
}

void TPvSession::BeginEngineSession() {
  if (OnStartup) OnStartup(this);
  if (SessionName().empty()) PvDatabaseError(this, SSessionNameMissing);
  SetConfigMode(AllConfigModes);
  int32_t status = 0;
  {
    THourGlass hg(this);
    status = RareBeginSession(&FHandle, "", "", "");
  }
  while (status != 0) {
    std::string user = FUserName, password = FPassword;
    if (!LoginDialogEx(SessionName(), user, password, false)) break;
    FUserName = user;
    FPassword = password;
    THourGlass hg(this);
    status = RareBeginSession(&FHandle, FUserName.c_str(), FPassword.c_str(), "");
  }
  CheckStatus(RareSetSessionOption(FHandle, DRM_SESOPT_RESERVED6, 0));
}

void TPvSession::EndEngineSession() {
  // Every database is closed first, then the temporary ones are destroyed:
  // a database is never freed from inside its own close. One that fails to
  // close keeps neither the others open nor the engine session alive; the
  // first failure is passed on.
  std::exception_ptr error;
  auto attempt = [&error](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  };
  std::vector<TPvAbsDatabase*> databases;
  for (int32_t i = DatabaseCount() - 1; i >= 0; --i) databases.push_back(Databases(i));
  // A database freed by something another one's close did is skipped.
  auto present = [this](TPvAbsDatabase* db) {
    for (int32_t i = 0; i < DatabaseCount(); ++i)
      if (Databases(i) == db) return true;
    return false;
  };
  for (TPvAbsDatabase* db : databases)
    if (present(db)) attempt([db] { db->Close(); });
  for (TPvAbsDatabase* db : databases)
    if (present(db) && db->Temporary() && !db->ComponentState().Contains(csDestroying)) attempt([db] { db->Free(); });
  if (FHandle != 0) {
    THourGlass hg(this);
    RareEndSession(FHandle);
  }
  FHandle = 0;
  if (error) std::rethrow_exception(error);
}

void TPvSession::CloseDatabaseHandle(TPvAbsDatabase* Database) {
  for (int32_t i = 0; i < DatabaseCount(); ++i) {
    TPvAbsDatabase* other = Databases(i);
    if (other != Database && other->Connected() && SameText(other->DatabaseName(), Database->DatabaseName()))
      return;
  }
  auto* db = dynamic_cast<TPvDatabase*>(Database);
  if (db != nullptr && db->Handle() != 0) {
    THourGlass hg(this);
    RareCloseDatabase(FHandle, db->Handle());
  }
}

void TPvSession::GetDefaultAliasParams(TStrings* List) {
  TUpdateScope update(List);
  List->Clear();
  List->Add("INTEGRITY=TRUE");
}

void TPvSession::Lock() {
  if (FLockCount == 0) SessionLock().lock();
  ++FLockCount;
}

void TPvSession::Unlock() {
  if (FLockCount <= 0) return;
  if (--FLockCount == 0) SessionLock().unlock();
}

bool TPvSession::IsDataSetClass(TComponent* Component) const {
  return dynamic_cast<IPvSessionBoundDataSet*>(Component) != nullptr;
}

bool TPvSession::IsDatabaseClass(TComponent* Component) const {
  return dynamic_cast<TPvDatabase*>(Component) != nullptr;
}

TPvAbsDatabase* TPvSession::CreateDatabase(TComponent* AOwner) { return Create<TPvDatabase>(AOwner); }

TPvAbsSessionList* TPvSession::SessionList() const { return Sessions(); }

TPvAbsSession* TPvSession::DefaultSession() const { return DefaultPvSession(); }

void TPvSession::GetTableNames(const std::string& DatabaseName, const std::string& Pattern, bool Extensions,
                               bool SystemTables, TStrings* List) {
  (void)Extensions;
  TUpdateScope update(List);
  List->Clear();
  auto* db = static_cast<TPvDatabase*>(OpenDatabase(DatabaseName));
  Finally close([&] { CloseDatabase(db); });
  TDRMTableCollection* tables = db->Tables();
  for (int32_t i = 0; i < tables->Count(); ++i) {
    TDRMTableItem* item = tables->Items(i);
    if (!SystemTables && item->Flags == DRM_TABLEFLAG_SYSTEM) continue;
    if (MatchPattern(Pattern, item->TableName)) List->Add(item->TableName);
  }
  close.Run();
}

void TPvSession::GetStoredProcNames(const std::string& DatabaseName, TStrings* List) {
  TUpdateScope update(List);
  List->Clear();
  auto* db = static_cast<TPvDatabase*>(OpenDatabase(DatabaseName));
  Finally close([&] { CloseDatabase(db); });
  TDRMTableCollection* procs = db->StoredProcs();
  for (int32_t i = 0; i < procs->Count(); ++i) List->Add(procs->Items(i)->TableName);
  close.Run();
}

uint32_t TPvSession::FindSharedHandle(const std::string& Name) const {
  for (int32_t i = 0; i < DatabaseCount(); ++i) {
    auto* db = dynamic_cast<TPvDatabase*>(Databases(i));
    if (db != nullptr && db->Handle() != 0 && SameText(db->DatabaseName(), Name) && db->HandleShared())
      return db->Handle();
  }
  return 0;
}

}  // namespace dac
