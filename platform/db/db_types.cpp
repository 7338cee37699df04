#include "platform/db/db_types.h"

#include <iostream>

#include "platform/rtl/component.h"

namespace dac {

namespace {
constexpr const char* kFieldTypeNames[FieldTypeCount] = {
    "ftUnknown",    "ftString",   "ftSmallint",   "ftInteger",   "ftWord",        "ftBoolean",
    "ftFloat",      "ftCurrency", "ftBCD",        "ftDate",      "ftTime",        "ftDateTime",
    "ftBytes",      "ftVarBytes", "ftAutoInc",    "ftBlob",      "ftMemo",        "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint", "ftADT",        "ftArray",     "ftReference",   "ftDataSet",
    "ftOraBlob",    "ftOraClob",  "ftVariant",    "ftInterface", "ftIDispatch",   "ftGuid",
    "ftTimeStamp",  "ftFMTBcd",   "ftFixedWideChar", "ftWideMemo"};

constexpr const char* kStateNames[] = {"dsInactive",  "dsBrowse",     "dsEdit",     "dsInsert",
                                       "dsSetKey",    "dsCalcFields", "dsFilter",   "dsNewValue",
                                       "dsOldValue",  "dsCurValue",   "dsBlockRead", "dsInternalCalc",
                                       "dsOpening"};

constexpr const char* kEventNames[] = {
    "deFieldChange",    "deRecordChange",  "deDataSetChange",   "deDataSetScroll",
    "deLayoutChange",   "deUpdateRecord",  "deUpdateState",     "deCheckBrowseMode",
    "dePropertyChange", "deFieldListChange", "deFocusControl",  "deParentScroll",
    "deConnectChange",  "deReconcileError", "deDisabledStateChange"};
}  // namespace

std::string FieldTypeName(TFieldType t) {
  if (t < FieldTypeCount) return kFieldTypeNames[t];
  return "ftUnknown";
}

std::string DataSetStateName(TDataSetState s) {
  if (s <= dsOpening) return kStateNames[s];
  return "dsInactive";
}

std::string DataEventName(TDataEvent e) {
  if (e <= deDisabledStateChange) return kEventNames[e];
  return "deUnknown";
}

EUpdateError::EUpdateError(std::string message, std::string context, int32_t errorCode,
                           int32_t previousError, std::unique_ptr<Exception> original)
    : EDatabaseError(std::move(message)),
      FContext(std::move(context)),
      FErrorCode(errorCode),
      FPreviousError(previousError),
      FOriginalException(std::move(original)) {}

EUpdateError::EUpdateError(const EUpdateError& other)
    : EDatabaseError(other),
      FContext(other.FContext),
      FErrorCode(other.FErrorCode),
      FPreviousError(other.FPreviousError),
      FOriginalException(other.FOriginalException ? other.FOriginalException->Clone() : nullptr) {}

EUpdateError& EUpdateError::operator=(const EUpdateError& other) {
  if (this != &other) {
    EDatabaseError::operator=(other);
    FContext = other.FContext;
    FErrorCode = other.FErrorCode;
    FPreviousError = other.FPreviousError;
    FOriginalException = other.FOriginalException ? other.FOriginalException->Clone() : nullptr;
  }
  return *this;
}

void DatabaseError(const std::string& message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty())
    throw EDatabaseError(component->Name() + ": " + message);
  throw EDatabaseError(message);
}

namespace {
TExceptionHandler& ExceptionHandler() {
  static TExceptionHandler handler;
  return handler;
}
}  // namespace

void SetDatabaseExceptionHandler(TExceptionHandler Handler) { ExceptionHandler() = std::move(Handler); }

void HandleDatabaseException(TObject* Sender) {
  if (ExceptionHandler()) {
    ExceptionHandler()(Sender);
    return;
  }
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
  } catch (...) {
    std::cerr << "Unknown exception" << std::endl;
  }
}

}  // namespace dac
