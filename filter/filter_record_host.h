#pragma once
// IFilterRecordHost: what a dataset offers so that a filter can test a
// record that is not its active one (a fetched record before it enters the
// ring, a record being posted, a new record receiving its defaults).
//
// The dataset core implements it: BeginFilterRecord switches to the
// temporary dsFilter state with FFilterBuffer := Buffer, so that its
// fields read (and a default expression writes) that buffer;
// EndFilterRecord puts the state and the previous buffer back. The
// evaluator brackets Verify with the two (TParseVerifier::VerifyRecord).

#include "platform/db/db_types.h"

namespace dac {

// What EndFilterRecord needs to put back.
struct TFilterRecordState {
  TDataSetState State = dsInactive;
  TRecordBuffer Buffer = nullptr;
};

class IFilterRecordHost {
 public:
  virtual ~IFilterRecordHost() = default;
  virtual TFilterRecordState BeginFilterRecord(TRecordBuffer Buffer) = 0;
  virtual void EndFilterRecord(const TFilterRecordState& Saved) = 0;
};

}  // namespace dac
