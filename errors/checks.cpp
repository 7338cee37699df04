#include "errors/checks.h"

#include "errors/error_interfaces.h"
#include "errors/error_text.h"
#include "errors/messages.h"
#include "errors/status_tables.h"

namespace dac {
namespace {

const IPvSessionDescription* SessionFacts(const TComponent* session) {
  return dynamic_cast<const IPvSessionDescription*>(session);
}

std::string WithAliasName(std::string text, const std::string& aliasName) {
  if (!aliasName.empty()) {
    text += SAliasNameIs;
    text += aliasName;
  }
  return text;
}

}  // namespace

void PvDatabaseError(TPersistent* Owner, const std::string& Message, TComponent* Component) {
  if (Component != nullptr && !Component->Name().empty())
    throw EPvDatabaseError(Owner, Format(SComponentMessage, Component->Name(), Message));
  throw EPvDatabaseError(Owner, Message);
}

void NoResultSetError(TComponent* DataSet) {
  std::string text = SErrorCreatingCursorHandle;
  AppendWithSeparator(text, DescribeDrmError(0, DataSet));
  throw ENoResultSet(text);
}

void CheckStatus(TComponent* Session, int32_t Status, TComponent* Component) {
  CheckDbNamesStatus(Session, std::string(), Status, false);
  if (Status == 0) return;
  const IPvSessionDescription* facts = SessionFacts(Session);
  uint32_t handle = facts ? facts->DescSessionHandle() : 0;
  throw EPvDrmEngineError(Component, Status, static_cast<int32_t>(handle), 0);
}

void CheckDbNamesStatus(TComponent* Session, const std::string& AliasName, int32_t Status, bool RaiseUnknown) {
  if (Status == 0) return;
  std::string text;
  if (const char* known = DbNamesStatusText(Status))
    text = known;
  else if (RaiseUnknown)
    text = Format(SDbNamesApiError, Status);
  else
    return;
  text = WithAliasName(std::move(text), AliasName);
  AppendWithSeparator(text, DescribeDrmError(Status, Session));
  throw EPvDbAdminEngineError(Session, dbmeLocal, Status, text);
}

void CheckDtiStatus(TComponent* Session, const std::string& Name, int32_t Status) {
  if (Status == 0) return;
  const char* known = DtiStatusText(Status);
  std::string text = known ? std::string(known) : Format(SDtiError, Status);
  text = WithAliasName(std::move(text), Name);
  throw EPvDbAdminEngineError(Session, dbmeDTI, Status, text);
}

void CheckDtiStatusEx(TComponent* Session, const std::string& Name, int32_t Status, const std::string& ServerName,
                      const std::string& DatabaseName) {
  try {
    CheckDtiStatus(Session, Name, Status);
  } catch (EPvDbAdminEngineError& e) {
    std::string text = e.Message();
    text += ErrorSeparator(text);
    if (!ServerName.empty()) text += Format(SServerNameIs, ServerName) + SErrorSeparator;
    if (!DatabaseName.empty()) text += Format(SDatabaseNameIs, DatabaseName) + SErrorSeparator;
    const IPvSessionDescription* facts = SessionFacts(Session);
    std::string sessionName = facts ? facts->DescSessionName() : std::string();
    if (!sessionName.empty()) text += Format(SSessionNameIs, sessionName) + SErrorSeparator;
    std::string component = DescribeComponent(Session);
    if (component.find(SCannotNameComponent) == std::string::npos) text += component;
    // Every part above ends with a separator; when no component description
    // follows the last one, the message does not end in a dangling ". ".
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, SErrorSeparator) == 0) text.resize(text.size() - 2);
    e.SetMessage(std::move(text));
    throw;
  }
}

}  // namespace dac
