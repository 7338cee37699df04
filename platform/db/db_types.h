#pragma once
// The dataset framework's shared types: field types, dataset states, data
// events, the codes stored in record buffers, options, the update error and
// the database-error helpers.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/tset.h"

namespace dac {

class TComponent;
class TObject;

// The standard 40 field types; filter buffers store the ordinals, so the
// order and numbers never change.
enum TFieldType : uint8_t {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate,
  ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo,
  ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
  ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid,
  ftTimeStamp, ftFMTBcd, ftFixedWideChar, ftWideMemo
};
inline constexpr int FieldTypeCount = 40;
static_assert(ftWideMemo == 39);

// "ftString", "ftInteger", ...
std::string FieldTypeName(TFieldType t);

enum TDataSetState : uint8_t {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue, dsOldValue,
  dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};
using TDataSetStates = TSet<TDataSetState>;
inline const TDataSetStates dsEditModes{dsEdit, dsInsert, dsSetKey};
inline const TDataSetStates dsWriteModes{dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter,
                                         dsNewValue, dsInternalCalc};
std::string DataSetStateName(TDataSetState s);

enum TDataEvent : uint8_t {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange, deUpdateRecord,
  deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange, deFocusControl,
  deParentScroll, deConnectChange, deReconcileError, deDisabledStateChange
};
// "deFieldChange", ... (used by the trace log).
std::string DataEventName(TDataEvent e);

// Codes kept in record buffers.
enum TGetMode : uint8_t { gmCurrent = 0, gmNext = 1, gmPrior = 2 };
enum TGetResult : uint8_t { grOK = 0, grBOF = 1, grEOF = 2, grError = 3 };
enum TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };
using TFieldKinds = TSet<TFieldKind>;

enum TResyncModeItem : uint8_t { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeItem>;

enum TLocateOption : uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

enum TFilterOption : uint8_t { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;

enum TIndexOption : uint8_t {
  ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained
};
using TIndexOptions = TSet<TIndexOption>;

enum TUpdateStatus : uint8_t { usUnmodified, usModified, usInserted, usDeleted };
using TUpdateStatusSet = TSet<TUpdateStatus>;
enum TUpdateKind : uint8_t { ukModify, ukInsert, ukDelete };
enum TUpdateAction : uint8_t { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
enum TDataAction : uint8_t { daFail, daAbort, daRetry };
enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

enum TProviderFlag : uint8_t { pfInUpdate, pfInWhere, pfInKey, pfHidden };
using TProviderFlags = TSet<TProviderFlag>;

enum TFieldAttribute : uint8_t { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TSet<TFieldAttribute>;

enum TParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// A record buffer is raw memory owned by the dataset; a bookmark is a copy
// of a record's bookmark bytes.
using TRecordBuffer = uint8_t*;
using TBookmark = std::vector<uint8_t>;

// The error an update of cached or provider changes reports: the message,
// a context, the error code, the previous error's code and a copy of the
// original exception.
class EUpdateError : public EDatabaseError {
 public:
  EUpdateError(std::string message, std::string context, int32_t errorCode, int32_t previousError,
               std::unique_ptr<Exception> original);
  EUpdateError(const EUpdateError& other);
  EUpdateError& operator=(const EUpdateError& other);
  ~EUpdateError() override = default;

  const std::string& Context() const { return FContext; }
  int32_t ErrorCode() const { return FErrorCode; }
  int32_t PreviousError() const { return FPreviousError; }
  const Exception* OriginalException() const { return FOriginalException.get(); }

  std::unique_ptr<Exception> Clone() const override { return std::make_unique<EUpdateError>(*this); }
  [[noreturn]] void Raise() const override { throw *this; }

 private:
  std::string FContext;
  int32_t FErrorCode = 0;
  int32_t FPreviousError = 0;
  std::unique_ptr<Exception> FOriginalException;
};

// Raises EDatabaseError with "Name: msg" when the component has a name.
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);

template <typename... Args>
[[noreturn]] void DatabaseErrorFmt(std::string_view fmt, const TComponent* component, const Args&... args) {
  DatabaseError(Format(fmt, args...), component);
}

// The application's handler for an exception that cannot be passed on; it
// runs inside the catch block. Without one installed, the message goes to
// standard error and EAbort is ignored.
using TExceptionHandler = std::function<void(TObject* Sender)>;
void SetDatabaseExceptionHandler(TExceptionHandler Handler);
void HandleDatabaseException(TObject* Sender);

// The framework's message texts.
namespace dbmsg {
inline constexpr const char* SInactiveDataset = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SActiveDataset = "Cannot perform this operation on an open dataset";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SProviderNotSupported = "Provider support not available";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SNotEditingField = "Dataset not in edit or insert mode";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* SInvalidFieldKind = "%s: invalid field kind";
inline constexpr const char* SNotAnInteger = "\"%s\" is not a valid integer value";
inline constexpr const char* SNotAFloat = "\"%s\" is not a valid floating point value";
inline constexpr const char* SNotABoolean = "\"%s\" is not a valid boolean value";
inline constexpr const char* SNotADateTime = "\"%s\" is not a valid date and time value";
inline constexpr const char* SRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SInvalidTypeConversion = "Invalid type conversion to %s in field '%s'";
inline constexpr const char* SFieldTypeNotSupported = "Field type %s is not supported";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SDuplicateName = "Duplicate name '%s' in %s";
inline constexpr const char* SNoSuchRecord = "Record not found";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SConnected = "Operation cannot be performed on a connected connection";
inline constexpr const char* SNotSupportedYet = "%s is not supported yet";
}  // namespace dbmsg

}  // namespace dac
