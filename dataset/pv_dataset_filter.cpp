// TPvDataSet: record selection on the client. The filter (text, options,
// OnFilterRecord) and its per-record test, the find operations, Locate and
// Lookup, and the constraint layer (check and field constraints, default
// expressions).
#include <memory>

#include "dataset/pv_dataset.h"
#include "errors/checks.h"
#include "errors/trace.h"
#include "filter/constraint_collection.h"
#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
#include "filter/record_match.h"
#include "platform/db/check_constraints.h"
#include "platform/db/field.h"
#include "platform/desktop/application.h"
#include "platform/rtl/scope_guard.h"
#include "sessions/database.h"
#include "sessions/session.h"

namespace dac {

// ---- presenting a record to a filter ---------------------------------------------------

TFilterRecordState TPvDataSet::BeginFilterRecord(TRecordBuffer Buffer) {
  TFilterRecordState saved;
  saved.Buffer = FFilterBuffer;
  FFilterBuffer = Buffer;
  saved.State = SetTempState(dsFilter);
  return saved;
}

void TPvDataSet::EndFilterRecord(const TFilterRecordState& Saved) {
  RestoreState(Saved.State);
  FFilterBuffer = Saved.Buffer;
}

// ---- the filter -------------------------------------------------------------------------------

void TPvDataSet::CreateFilterEvaluator() {
  if (Filter().empty()) return;
  FFilterParser = std::make_unique<TExprParser>(this, Filter(), FilterOptions(), TParserOptions{poExtSyntax});
  // The evaluator needs the parser; a parser without one is not kept.
  Finally dropParser([this] { FFilterParser.reset(); });
  FFilterParseVerifier = std::make_unique<TParseVerifier>(this, FFilterParser->FilterData());
  dropParser.Dismiss();
}

void TPvDataSet::FreeFilterEvaluator() {
  FFilterParseVerifier.reset();
  FFilterParser.reset();
}

void TPvDataSet::SetFilterText(const std::string& Value) { SetFilterData(Value, FilterOptions()); }

void TPvDataSet::SetFilterOptions(TFilterOptions Value) { SetFilterData(Filter(), Value); }

void TPvDataSet::SetFilterData(const std::string& Text, TFilterOptions Options) {
  const std::string oldText = Filter();
  const TFilterOptions oldOptions = FilterOptions();
  TDataSet::SetFilterText(Text);
  TDataSet::SetFilterOptions(Options);
  if (!Active()) return;
  CheckBrowseMode();
  if (Filtered() && (Text != oldText || !(Options == oldOptions))) {
    FreeFilterEvaluator();
    CursorPosChanged();
    CreateFilterEvaluator();
    First();
    return;
  }
  if (Text.empty()) FreeFilterEvaluator();
}

void TPvDataSet::SetFiltered(bool Value) {
  if (!Active()) {
    TDataSet::SetFiltered(Value);
    return;
  }
  CheckBrowseMode();
  if (Value != Filtered()) {
    // A filter that does not parse leaves the dataset unfiltered.
    if (Value)
      CreateFilterEvaluator();
    else
      FreeFilterEvaluator();
    TDataSet::SetFiltered(Value);
  }
  First();
}

bool TPvDataSet::FilterVerdict(TRecordBuffer Buffer, const std::function<bool()>& Verdict) {
  const TFilterRecordState saved = BeginFilterRecord(Buffer);
  Finally restore([&] { EndFilterRecord(saved); });
  try {
    return Verdict();
  } catch (...) {
    // A record the filter cannot judge stays visible; the failure is shown
    // and the fetch goes on.
    Application()->HandleException(this);
    return true;
  }
}

bool TPvDataSet::DoFiltering(TRecordBuffer Buffer) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.DoFiltering");
  if (!Filtered()) return true;
  bool accept = true;
  if (FFilterParseVerifier) accept = FilterVerdict(Buffer, [this] { return FFilterParseVerifier->Verify(); });
  if (accept && OnFilterRecord()) {
    // The handler's Accept keeps what it held when a failure came.
    bool handlerAccept = true;
    FilterVerdict(Buffer, [&] {
      OnFilterRecord()(this, handlerAccept);
      return handlerAccept;
    });
    accept = handlerAccept;
  }
  return accept;
}

// ---- find ---------------------------------------------------------------------------------------

bool TPvDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  TGetResult result = grError;
  {
    // The filter text is the search condition: switched on for the search
    // only when the dataset is not filtered already.
    const bool switched = !Filtered() && !Filter().empty();
    if (switched) {
      CreateFilterEvaluator();
      TDataSet::SetFiltered(true);
    }
    Finally switchOff([&] {
      if (!switched) return;
      FreeFilterEvaluator();
      TDataSet::SetFiltered(false);
    });
    if (GoForward)
      result = Restart ? PvInternalFirst(false) : PvInternalNext(false);
    else
      result = Restart ? PvInternalLast(false) : PvInternalPrior(false);
  }
  if (result == grOK) {
    Resync({rmExact, rmCenter});
    SetFound(true);
  }
  if (Found()) DoAfterScroll();
  return Found();
}

// ---- locate and lookup ------------------------------------------------------------------------

bool TPvDataSet::MatchCurrentRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  return MatchRecord(this, KeyFields, KeyValues, Options);
}

bool TPvDataSet::DoLocate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                          bool SyncCursor) {
  (void)SyncCursor;
  CheckBrowseMode();
  CursorPosChanged();
  return MatchCurrentRecord(KeyFields, KeyValues, Options);
}

bool TPvDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  TTraceScope trace(TraceLocate, kTraceLocate, "TPvDataSet.Locate");
  if (FRefreshOnLocate) {
    if (trace.Active()) TraceWrite("<path refreshing=\"true\">");
    Refresh();
  }
  if (FShouldCheckForEmpty && IsEmpty()) return false;
  CheckBrowseMode();
  if (MatchCurrentRecord(KeyFields, KeyValues, Options)) {
    if (State() == dsBrowse || State() == dsEdit || State() == dsInsert) {
      SetBookmarkFlag(ActiveBuffer(), static_cast<TBookmarkFlag>(0));
      Refresh();
    }
    if (CanUseBookmarks()) {
      const TBookmark bookmark = GetBookmark();
      if (BookmarkValid(bookmark)) GotoBookmark(bookmark);
    } else {
      UpdateCursorPos();
    }
    return true;
  }
  DoBeforeScroll();
  bool found = false;
  {
    THourGlass hourglass(GetDBSession());
    found = DoLocate(KeyFields, KeyValues, Options, true);
  }
  if (found && !GetDatabase()->IsSQLBased()) {
    Resync({rmExact, rmCenter});
    DoAfterScroll();
  }
  return found;
}

Variant TPvDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) {
  CheckBrowseMode();
  Variant result = Variant::Null();
  if (!DoLocate(KeyFields, KeyValues, TLocateOptions{}, false)) return result;
  // The record found is read into the temporary buffer (its calculated
  // fields computed by the fetch) and read from there: the active record
  // does not move.
  TRecordBuffer temp = TempBuffer();
  if (GetRecord(temp, gmCurrent, true) != grOK) return result;
  const TFilterRecordState saved = BeginFilterRecord(temp);
  Finally restore([&] { EndFilterRecord(saved); });
  result = FieldValues(ResultFields);
  return result;
}

// ---- constraints ----------------------------------------------------------------------------

void TPvDataSet::BuildConstraints() {
  // A constraint that does not parse fails the open and leaves nothing.
  Finally clearAll([this] {
    FParseConstrains->Clear();
    FDefaultConstrains->Clear();
  });
  FParseConstrains->Clear();
  for (int32_t i = 0; i < Constraints()->Count(); ++i) {
    const TCheckConstraint* c = Constraints()->Items(i);
    FParseConstrains->AddCheckConstraint(this, c->CustomConstraint(), c->ErrorMessage());
  }
  FDefaultConstrains->Clear();
  for (TField* f : Fields()->List()) {
    if (f->FieldKind() != fkData && f->FieldKind() != fkInternalCalc) continue;
    if (!f->DefaultExpression().empty()) FDefaultConstrains->AddDefaultExpression(this, f);
    if (!f->ImportedConstraint().empty())
      FParseConstrains->AddFieldConstraint(this, f, f->ImportedConstraint(), f->ConstraintErrorMessage());
    if (!f->CustomConstraint().empty())
      FParseConstrains->AddFieldConstraint(this, f, f->CustomConstraint(), f->ConstraintErrorMessage());
  }
  clearAll.Dismiss();
}

void TPvDataSet::VerifyConstraints(int32_t FieldNo) {
  for (int32_t i = 0; i < FParseConstrains->Count(); ++i) {
    TConstraintItem* item = FParseConstrains->Items(i);
    if (FieldNo != 0 && item->FieldNum() + 1 != FieldNo) continue;
    if (!item->Verify(this)) PvDatabaseError(this, item->ErrorMessage());
  }
}

void TPvDataSet::CheckRecordConstraints() {
  if (!FConstraintLayer || ConstraintsDisabled()) return;
  VerifyConstraints(0);
}

void TPvDataSet::CheckFieldConstraints(TField* Field, const void* Value) {
  if (!FConstraintLayer || Field->FieldNo() <= 0) return;
  // The field reads the bare value being written while it is checked.
  const TFilterRecordState saved = BeginFilterRecord(static_cast<TRecordBuffer>(const_cast<void*>(Value)));
  FIsFieldConstrainVerifyState = true;
  Finally restore([&] {
    FIsFieldConstrainVerifyState = false;
    EndFilterRecord(saved);
  });
  VerifyConstraints(Field->FieldNo());
}

void TPvDataSet::ApplyDefaultExpressions(TRecordBuffer Buffer) {
  if (!FConstraintLayer || FDefaultConstrains->Count() == 0 || Buffer == nullptr) return;
  const TFilterRecordState saved = BeginFilterRecord(Buffer);
  Finally restore([&] { EndFilterRecord(saved); });
  for (int32_t i = 0; i < FDefaultConstrains->Count(); ++i) (void)FDefaultConstrains->Items(i)->Verify(this);
}

}  // namespace dac
