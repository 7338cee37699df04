// Named databases (aliases) of a session: the configuration store of the
// abstract session and the engine-backed definitions of TPvSession.
#include <algorithm>

#include "engine/drm.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/trace.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"
#include "sessions/alias_list.h"
#include "sessions/database.h"
#include "sessions/session.h"
#include "sessions/session_list.h"

namespace dac {

bool TPvAbsSession::IsSessionStore() const {
  return !(FConfigMode == AllConfigModes || FConfigMode == TConfigMode{cfmVirtual} ||
           FConfigMode == TConfigMode{cfmPersistent});
}

void TPvAbsSession::SetConfigModeFrom(TConfigMode Mode) {
  FConfigMode = Mode == AllConfigModes ? TConfigMode{cfmPersistent} : Mode;
}

void TPvAbsSession::AddAliasEx(const std::string& Name, TStrings* List, bool Restore, TConfigMode Mode) {
  {
    const TConfigMode saved = FConfigMode;
    SetConfigModeFrom(Mode);
    Finally restore([&] {
      if (Restore) FConfigMode = saved;
    });
    StoreAlias(Name, List, true);
  }
  DBNotification(dbAddAlias, &Name);
}

void TPvAbsSession::ModifyAlias(const std::string& Name, TStrings* List) { StoreAlias(Name, List, false); }

void TPvAbsSession::StoreAlias(const std::string& Name, TStrings* List, bool IsNew) {
  if (List == nullptr || List->Count() == 0) PvDatabaseError(this, SInvalidParamsCount);
  TStringList definition;
  if (!PrepareAliasParams(Name, List, &definition, IsNew)) return;
  TAliasList& store = IsSessionStore() ? FSessionAliases : FModifiedAliases;
  if (store.IndexOfAlias(Name) >= 0)
    store.SetAliasParams(Name, &definition);
  else
    store.Add(Name, &definition, IsNew);
  if (!IsSessionStore()) SaveConfigFile();
}

void TPvAbsSession::RemoveAlias(const std::string& Name, TConfigMode Mode, bool Restore) {
  DBNotification(dbDeleteAlias, &Name);
  const TConfigMode saved = FConfigMode;
  SetConfigModeFrom(Mode);
  Finally restore([&] {
    if (Restore) FConfigMode = saved;
  });
  if (IsSessionStore())
    FSessionAliases.Delete(FSessionAliases.IndexOfAlias(Name));
  else
    DropNamedDatabase(Name);
}

bool TPvAbsSession::IsAlias(const std::string& Name) {
  TStringList names;
  {
    const TConfigMode saved = FConfigMode;
    FConfigMode = TConfigMode{cfmPersistent};
    Finally restore([&] { FConfigMode = saved; });
    GetAliasNames(&names);
  }
  return names.IndexOf(Name) >= 0;
}

void TPvAbsSession::SaveConfigFile() {
  while (FModifiedAliases.Count() > 0) {
    TAliasItem* item = FModifiedAliases.Items(0);
    // A pending change is written once: it goes whether or not it succeeds.
    Finally done([this] { FModifiedAliases.Delete(0); });
    WriteAlias(item->Name, &item->Params, item->IsAdd);
  }
}

void TPvAbsSession::GetConfigParams(const std::string& Path, const std::string& Section, TStrings* List) {
  (void)Path;
  (void)Section;
  (void)List;
}

uint32_t TPvAbsSession::DtiHandle() {
  PvDatabaseErrorFmt(this, SNotSupportedYet, "The server administration connection (DtiHandle)");
}

TDtiConnectionHolder* TPvAbsSession::DtiConnectionHolder() {
  PvDatabaseErrorFmt(this, SNotSupportedYet, "The server administration connection (DtiConnectionHolder)");
}

void TPvSession::DropNamedDatabase(const std::string& Name) {
  (void)Name;
  PvDatabaseErrorFmt(this, SNotSupportedYet, "Deleting a named database (DropNamedDatabase)");
}

bool TPvSession::PrepareAliasParams(const std::string& Name, TStrings* List, TStrings* Dest, bool IsNew) {
  bool result = IsNew;
  if (IsNew) {
    Dest->Clear();
    Dest->Add("DDF_PATH=");
    Dest->Add("PATH=");
    Dest->Add("INTEGRITY=TRUE");
    Dest->Add("BOUND=FALSE");
  } else {
    GetAliasParams(Name, Dest);
  }
  for (const char* key : {"USER NAME", "PASSWORD", "DDF_PATH", "PATH", "INTEGRITY", "BOUND", "CREATE_DDF"}) {
    std::string value = List->Values(key);
    if (value.empty()) continue;
    Dest->SetValues(key, value);
    result = true;
  }
  return result;
}

void TPvSession::WriteAlias(const std::string& Name, TStrings* Params, bool IsNew) {
  (void)Name;
  (void)Params;
  (void)IsNew;
  PvDatabaseErrorFmt(this, SNotSupportedYet, "Writing a named database (WriteAlias)");
}

void TPvSession::AddStandardAlias(const std::string& Name, const std::string& Path) {
  TStringList list;
  list.Add(Format("%s=%s", "DDF_PATH", Path));
  list.Add(Format("%s=%s", "PATH", Path));
  list.Add(Format("%s=%s", "INTEGRITY", "True"));
  list.Add(Format("%s=%s", "BOUND", "False"));
  AddAlias(Name, &list);
}

void TPvSession::GetAliasNames(TStrings* List) {
  if (!IsSessionStore())
    PvDatabaseErrorFmt(this, SNotSupportedYet, "Listing the named databases of the engine (GetAliasNames)");
  if (ConfigMode() != TConfigMode{cfmSession}) return;
  for (int32_t i = 0; i < FSessionAliases.Count(); ++i) {
    const std::string& name = FSessionAliases.Items(i)->Name;
    if (List->IndexOf(name) < 0) List->Add(name);
  }
}

void TPvSession::GetAliasParams(const std::string& Name, TStrings* List) {
  if (List == nullptr) return;
  const TConfigMode mode = ConfigMode();
  if (mode == AllConfigModes || mode == TConfigMode{cfmSession}) {
    if (TStrings* p = FSessionAliases.FindAliasParams(Name)) {
      List->Assign(p);
      return;
    }
  }
  if (IsSessionStore()) PvDatabaseError(this, SCannotLocateAlias);
  if (TStrings* p = FModifiedAliases.FindAliasParams(Name)) {
    List->Assign(p);
    return;
  }
  PvDatabaseErrorFmt(this, SNotSupportedYet, "Reading a named database of the engine (GetAliasParams)");
}

}  // namespace dac
