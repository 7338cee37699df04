#pragma once
// The component layer's exception classes and the error entries an engine
// exception carries.
//
//   EDatabaseError
//     EPvDatabaseError         a failure on behalf of an object (Owner)
//       EPvDBEngineError       an engine failure; owns its error entries
//         EPvDrmEngineError    a status of the engine client library
//         EPvDbAdminEngineError  a named-database or administration status
//     ENoResultSet             an open that produced no cursor
//
// Exceptions are thrown by value: copying an engine exception copies its
// entries. Owner is not owned and may be gone by the time a handler runs.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"

namespace dac {

class TPersistent;
class TComponent;
class EPvDBEngineError;

class EPvDatabaseError : public EDatabaseError {
 public:
  // When Owner is a component, its description follows Msg.
  EPvDatabaseError(TPersistent* Owner, const std::string& Msg);

  TPersistent* Owner() const { return FOwner; }

  std::unique_ptr<Exception> Clone() const override { return std::make_unique<EPvDatabaseError>(*this); }
  [[noreturn]] void Raise() const override { throw *this; }

 private:
  TPersistent* FOwner = nullptr;
};

DAC_DECLARE_EXCEPTION(ENoResultSet, EDatabaseError);

// One error entry of an engine exception.
class TPvDBError {
 public:
  // Makes an entry and adds it to Owner's list, which owns it.
  static TPvDBError* Create(EPvDBEngineError& Owner, int32_t NativeError, const char* Message);

  TPvDBError(int32_t NativeError, const char* Message);
  TPvDBError(const TPvDBError&) = default;
  TPvDBError& operator=(const TPvDBError&) = delete;
  virtual ~TPvDBError() = default;

  int32_t NativeError() const { return FNativeError; }
  const std::string& Message() const { return FMessage; }

  // A copy with the dynamic type kept (engine exceptions copy their entries).
  virtual std::unique_ptr<TPvDBError> Clone() const { return std::make_unique<TPvDBError>(*this); }

 private:
  int32_t FNativeError = 0;
  std::string FMessage;
};

// An entry for an engine status.
class TPvDrmError : public TPvDBError {
 public:
  static TPvDrmError* Create(EPvDBEngineError& Owner, int32_t ErrorCode, int32_t NativeError, const char* Message);

  TPvDrmError(int32_t ErrorCode, int32_t NativeError, const char* Message);
  TPvDrmError(const TPvDrmError&) = default;

  int32_t ErrorCode() const { return FErrorCode; }

  std::unique_ptr<TPvDBError> Clone() const override { return std::make_unique<TPvDrmError>(*this); }

 private:
  int32_t FErrorCode = 0;
};

class EPvDBEngineError : public EPvDatabaseError {
 public:
  // An empty entry list; the message is the owner's description.
  explicit EPvDBEngineError(TComponent* Owner);
  EPvDBEngineError(const EPvDBEngineError& other);
  EPvDBEngineError& operator=(const EPvDBEngineError& other);
  ~EPvDBEngineError() override;

  int32_t ErrorCount() const { return static_cast<int32_t>(FErrors.size()); }
  // Raises EListError for a position outside 0..ErrorCount()-1.
  TPvDBError* Errors(int32_t Index) const;

  // Takes ownership of an entry (TPvDBError::Create uses it).
  void AddError(std::unique_ptr<TPvDBError> Error);

  std::unique_ptr<Exception> Clone() const override { return std::make_unique<EPvDBEngineError>(*this); }
  [[noreturn]] void Raise() const override { throw *this; }

 private:
  void FreeErrors();

  std::vector<std::unique_ptr<TPvDBError>> FErrors;
};

// An engine status as an exception: one entry with the status, its native
// number and the engine's extended text; the message is that text (or
// "P.SQL error %d") followed by the status text and the component context.
class EPvDrmEngineError : public EPvDBEngineError {
 public:
  // SesID 0 stands for "no session" and asks the engine about session -1.
  // Reserv has no effect.
  EPvDrmEngineError(TComponent* Owner, int32_t ErrorCode, int32_t SesID, int32_t Reserv);

  int32_t ErrorCode() const { return FErrorCode; }

  std::unique_ptr<Exception> Clone() const override { return std::make_unique<EPvDrmEngineError>(*this); }
  [[noreturn]] void Raise() const override { throw *this; }

 private:
  int32_t FErrorCode = 0;
};

enum TPvDbAdminEngineErrorTypes : uint8_t {
  dbmeLocal,     // a named-database call of the engine client library failed
  dbmeDTI,       // an administration-library call failed
  dbmeLocalSql,  // declared, never raised
};

class EPvDbAdminEngineError : public EPvDBEngineError {
 public:
  // An empty AMessage is replaced by "DTI error %d" with ErrorCode.
  EPvDbAdminEngineError(TComponent* Owner, TPvDbAdminEngineErrorTypes ErrorType, int32_t ErrorCode,
                        const std::string& AMessage);

  TPvDbAdminEngineErrorTypes ErrorType() const { return FErrorType; }

  std::unique_ptr<Exception> Clone() const override { return std::make_unique<EPvDbAdminEngineError>(*this); }
  [[noreturn]] void Raise() const override { throw *this; }

 private:
  TPvDbAdminEngineErrorTypes FErrorType = dbmeLocal;
};

}  // namespace dac
