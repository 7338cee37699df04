#include "errors/pv_errors.h"

#include "errors/error_text.h"
#include "errors/messages.h"
#include "platform/rtl/component.h"
#include "platform/rtl/format.h"

namespace dac {
namespace {

std::string OwnerDescription(TPersistent* owner) {
  const auto* component = dynamic_cast<const TComponent*>(owner);
  return component ? DescribeComponent(component) : std::string();
}

std::string WithOwnerDescription(const std::string& msg, TPersistent* owner) {
  std::string text = msg;
  AppendWithSeparator(text, OwnerDescription(owner));
  return text;
}

}  // namespace

// ---- EPvDatabaseError ------------------------------------------------------

EPvDatabaseError::EPvDatabaseError(TPersistent* Owner, const std::string& Msg)
    : EDatabaseError(WithOwnerDescription(Msg, Owner)), FOwner(Owner) {}

// ---- Entries ---------------------------------------------------------------

TPvDBError::TPvDBError(int32_t NativeError, const char* Message)
    : FNativeError(NativeError), FMessage(Message ? Message : "") {}

TPvDBError* TPvDBError::Create(EPvDBEngineError& Owner, int32_t NativeError, const char* Message) {
  auto entry = std::make_unique<TPvDBError>(NativeError, Message);
  TPvDBError* result = entry.get();
  Owner.AddError(std::move(entry));
  return result;
}

TPvDrmError::TPvDrmError(int32_t ErrorCode, int32_t NativeError, const char* Message)
    : TPvDBError(NativeError, Message), FErrorCode(ErrorCode) {}

TPvDrmError* TPvDrmError::Create(EPvDBEngineError& Owner, int32_t ErrorCode, int32_t NativeError,
                                 const char* Message) {
  auto entry = std::make_unique<TPvDrmError>(ErrorCode, NativeError, Message);
  TPvDrmError* result = entry.get();
  Owner.AddError(std::move(entry));
  return result;
}

// ---- EPvDBEngineError ------------------------------------------------------

EPvDBEngineError::EPvDBEngineError(TComponent* Owner) : EPvDatabaseError(Owner, std::string()) {}

EPvDBEngineError::EPvDBEngineError(const EPvDBEngineError& other) : EPvDatabaseError(other) {
  FErrors.reserve(other.FErrors.size());
  for (const auto& entry : other.FErrors) FErrors.push_back(entry->Clone());
}

EPvDBEngineError& EPvDBEngineError::operator=(const EPvDBEngineError& other) {
  if (this == &other) return *this;
  std::vector<std::unique_ptr<TPvDBError>> copies;
  copies.reserve(other.FErrors.size());
  for (const auto& entry : other.FErrors) copies.push_back(entry->Clone());
  EPvDatabaseError::operator=(other);
  FreeErrors();
  FErrors = std::move(copies);
  return *this;
}

EPvDBEngineError::~EPvDBEngineError() { FreeErrors(); }

void EPvDBEngineError::FreeErrors() {
  // Entries go from the last to the first.
  while (!FErrors.empty()) FErrors.pop_back();
}

TPvDBError* EPvDBEngineError::Errors(int32_t Index) const {
  if (Index < 0 || Index >= ErrorCount()) throw EListError(Format(SListIndexError, Index));
  return FErrors[static_cast<size_t>(Index)].get();
}

void EPvDBEngineError::AddError(std::unique_ptr<TPvDBError> Error) {
  if (Error) FErrors.push_back(std::move(Error));
}

// ---- EPvDrmEngineError -----------------------------------------------------

EPvDrmEngineError::EPvDrmEngineError(TComponent* Owner, int32_t ErrorCode, int32_t SesID, int32_t /*Reserv*/)
    : EPvDBEngineError(Owner), FErrorCode(ErrorCode) {
  if (SesID == 0) SesID = -1;
  std::string extended = ExtendedErrorText(static_cast<uint32_t>(SesID), ErrorCode);
  TPvDrmError* entry = TPvDrmError::Create(*this, ErrorCode, DrmNativeError(ErrorCode), extended.c_str());
  std::string message = entry->Message();
  // The engine's text often ends with a full stop or a line break; the
  // context is joined after it with a separator of its own.
  while (!message.empty()) {
    char last = message.back();
    if (last != '\r' && last != '\n' && last != ' ' && last != '.') break;
    message.pop_back();
  }
  if (message.empty()) message = Format(SPvSqlError, ErrorCode);
  AppendWithSeparator(message, DescribeDrmError(ErrorCode, Owner));
  SetMessage(std::move(message));
}

// ---- EPvDbAdminEngineError -------------------------------------------------

EPvDbAdminEngineError::EPvDbAdminEngineError(TComponent* Owner, TPvDbAdminEngineErrorTypes ErrorType,
                                             int32_t ErrorCode, const std::string& AMessage)
    : EPvDBEngineError(Owner), FErrorType(ErrorType) {
  std::string message = AMessage.empty() ? Format(SDtiError, ErrorCode) : AMessage;
  TPvDBError::Create(*this, ErrorCode, message.c_str());
  SetMessage(std::move(message));
}

}  // namespace dac
