// TPvDrmDataSet: the record search of Locate and Lookup. The key values
// become engine filter terms (a locate filter, ANDed with the dataset's
// filter), with key slot 4 on the current index for the keys it covers;
// what the terms cannot express (Boolean and blob keys, keys the index
// does not cover in order) becomes a text filter the client evaluates on
// the records the engine delivers. The dataset moves to the first record
// that passes both, or stays where it was.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "errors/trace.h"
#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
#include "filter/record_match.h"
#include "filter/text_compare.h"
#include "platform/db/field.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"
#include "platform/rtl/variant.h"
#include "tables/pv_drm_dataset.h"

namespace dac {

namespace {

// The key values, one per key field: a variant array's elements, or the one
// value.
std::vector<Variant> KeyValueList(const Variant& KeyValues, size_t FieldCount) {
  std::vector<Variant> values;
  if (KeyValues.IsArray()) {
    for (int i = KeyValues.ArrayLowBound(); i <= KeyValues.ArrayHighBound(); ++i)
      values.push_back(KeyValues.GetElement(i));
  } else {
    values.push_back(KeyValues);
  }
  values.resize(FieldCount > values.size() ? FieldCount : values.size());
  return values;
}

bool IsStringField(const TField* Field) {
  const TFieldType t = Field->DataType();
  return t == ftString || t == ftFixedChar || t == ftWideString;
}

bool NeedsTextFilter(const TField* Field) {
  const TFieldType t = Field->DataType();
  return t == ftBoolean || t == ftBlob || t == ftMemo || t == ftFmtMemo;
}

// Quotes inside the value are doubled, as the filter language reads them:
// a value holding a quote neither breaks the text nor changes its meaning.
std::string QuotedFilterText(const std::string& Value) {
  std::string out = "'";
  for (char ch : Value) {
    out += ch;
    if (ch == '\'') out += '\'';
  }
  return out + "'";
}

// One condition of a locate's text filter.
std::string KeyCondition(const TField* Field, const Variant& Value) {
  std::string c = "(" + Field->FieldName();
  if (Value.IsClear()) return c + " Is Null)";
  if (Value.VarType() == varBoolean) return c + (Value.AsBoolean() ? "=True)" : "=False)");
  const TVarType kind = Value.VarType();
  if (kind == varDate || Value.IsStr()) return c + "=" + QuotedFilterText(VarToStr(Value)) + ")";
  return c + "=" + VarToStr(Value) + ")";
}

// The terms of a locate and the constant blocks they point into.
struct TLocateTerms {
  std::vector<DRM_FilterStruct> Terms;
  std::vector<std::vector<uint8_t>> Constants;  // by term, empty for none
  std::string TextFilter;
};

size_t BytesBeforeZero(const std::vector<uint8_t>& Block) {
  return static_cast<size_t>(std::find(Block.begin(), Block.end(), uint8_t{0}) - Block.begin());
}

}  // namespace

bool TPvDrmDataSet::DoFiltering(TRecordBuffer Buffer) {
  if (FLookupFilterParseVerifier &&
      !FilterVerdict(Buffer, [this] { return FLookupFilterParseVerifier->Verify(); }))
    return false;
  return TPvDataSet::DoFiltering(Buffer);
}

bool TPvDrmDataSet::EngineSelectsAlone() const {
  return !FLookupFilterParseVerifier && !FFilterParseVerifier && !OnFilterRecord() && CalcFieldsSize() == 0 &&
         !InternalCalcFields() && !TraceGetRecord && !Trace1590Open;
}

bool TPvDrmDataSet::DoLocate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                             bool SyncCursor) {
  (void)SyncCursor;
  TTraceScope trace(TraceLocate, kTraceLocate, "TPvDrmDataSet.DoLocate");
  CheckBrowseMode();
  CursorPosChanged();
  return FClientSideFilters ? LocateOnClient(KeyFields, KeyValues, Options)
                            : LocateInEngine(KeyFields, KeyValues, Options);
}

// Walks the visible records from the first and tests each on the client.
bool TPvDrmDataSet::LocateOnClient(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  const std::vector<Variant> values = KeyValueList(KeyValues, fields.size());
  // As the engine search compares: a whole text key without case when the
  // locate is case-insensitive (the core's test of the active record keeps
  // case for whole keys).
  auto matchesField = [&](TField* f, const Variant& v) {
    if (Options.Contains(loCaseInsensitive) && !Options.Contains(loPartialKey) && IsStringField(f) && !v.IsClear())
      return !f->IsNull() && LocaleSameText(TrimRight(f->AsString()), VarToStr(v));
    return MatchFieldValue(f, v, Options);
  };
  auto matches = [&] {
    for (size_t i = 0; i < fields.size(); ++i)
      if (!matchesField(fields[i], values[i])) return false;
    return true;
  };
  if (PvInternalFirst(false) != grOK) return false;
  while (GetRecord(FScratchBuffer, gmNext, false) == grOK) {
    const TFilterRecordState saved = BeginFilterRecord(FScratchBuffer);
    Finally restore([&] { EndFilterRecord(saved); });
    if (matches()) return true;
  }
  return false;
}

bool TPvDrmDataSet::LocateInEngine(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  const std::vector<Variant> values = KeyValueList(KeyValues, fields.size());
  const bool caseInsensitive = Options.Contains(loCaseInsensitive);
  const bool partial = Options.Contains(loPartialKey);
  RefreshFilterColumns();

  // The leading segments of the current index the key fields name in order.
  const std::vector<TIndexSegment> segments = CurrentIndexSegments();
  std::vector<std::string> usable;
  bool gap = false;
  for (size_t p = 0; p < segments.size(); ++p) {
    const bool matches = !gap && p < fields.size() && AnsiSameText(segments[p].ColumnName, fields[p]->FieldName());
    if (!matches) gap = true;
    const bool caseOk = !caseInsensitive || (segments[p].grBitColumn & DRM_IDXFLAG_CASE_SENSITIVE) == 0;
    if (!matches || !caseOk) break;
    usable.push_back(segments[p].ColumnName);
  }
  auto namesUsable = [&](const TField* f) {
    return std::any_of(usable.begin(), usable.end(), [&](const std::string& n) { return AnsiSameText(n, f->FieldName()); });
  };
  if (!fields.empty() && usable.size() + 1 < fields.size()) {
    const bool stringKeyListed = std::any_of(fields.begin(), fields.end(), [&](const TField* f) {
      return IsStringField(f) && namesUsable(f);
    });
    if (!(partial && !gap && stringKeyListed)) usable.clear();
  }

  // Every locate part lives for this call only: the evaluator, the
  // parser, key slot 4.
  Finally cleanUp([this] {
    FLookupFilterParseVerifier.reset();
    FLookupFilterParser.reset();
    if (FHandle != 0) CancelFilterKeySlot(DRM_KEYSLOT_SEEK);
  });

  TLocateTerms plan;
  bool firstKey = true;
  for (size_t i = 0; i < fields.size(); ++i) {
    TField* field = fields[i];
    const Variant& value = values[i];
    const TFilterColumn* column = FilterColumn(field->FieldNo());
    if ((!usable.empty() && usable.size() < fields.size()) || NeedsTextFilter(field) || column == nullptr) {
      if (!plan.TextFilter.empty()) plan.TextFilter += " AND ";
      plan.TextFilter += KeyCondition(field, value);
      continue;
    }
    if (partial && IsStringField(field) && !value.IsClear() && VarToStr(value).empty())
      return false;  // an empty partial key matches nothing
    DRM_FilterStruct term{};
    term.ColumnId = column->ColumnId;
    term.ExprWithNextTerm = DRM_JOIN_AND;
    std::vector<uint8_t> block;
    if (!value.IsClear() && (field->DataType() == ftFloat || field->DataType() == ftBCD)) {
      // Floats match within the locate tolerance: two bounds.
      const double v = value.AsDouble();
      for (const auto& [code, bound] : {std::pair{DRM_CMP_GE, v - kLocateFloatTolerance},
                                        std::pair{DRM_CMP_LE, v + kLocateFloatTolerance}}) {
        DRM_FilterStruct side = term;
        side.IsColumn = fisConst;
        side.CompareCode = static_cast<uint8_t>(code);
        std::vector<uint8_t> bytes = FilterConstant(field, *column, Variant(bound));
        side.ConstLen = static_cast<uint16_t>(std::min(column->cbMax, column->BufferMax));
        plan.Terms.push_back(side);
        plan.Constants.push_back(std::move(bytes));
      }
      continue;
    }
    if (value.IsClear()) {
      term.IsColumn = fisNull;
      term.CompareCode = DRM_CMP_EQ;
    } else {
      block = FilterConstant(field, *column, value);
      const bool text = IsStringField(field);
      if (partial && text) {
        term.IsColumn = fisPartialConst;
        term.CompareCode = DRM_CMP_GE;
        term.ConstLen = static_cast<uint16_t>(BytesBeforeZero(block));
      } else {
        term.IsColumn = fisConst;
        term.CompareCode = DRM_CMP_EQ;
        term.ConstLen = static_cast<uint16_t>(std::min(column->cbMax, column->BufferMax));
      }
      if (caseInsensitive && text) term.CompareCode |= DRM_CMP_NOCASE;
      if (namesUsable(field)) {
        uint32_t flags = firstKey ? DRM_KEYFLAG_FIRST : 0;
        if (term.IsColumn == fisPartialConst) flags |= DRM_KEYFLAG_PARTIAL;
        SetFilterKeySlot(column->ColumnId, DRM_KEYSLOT_SEEK, block, term.ConstLen, flags);
        firstKey = false;
      }
    }
    plan.Terms.push_back(term);
    plan.Constants.push_back(std::move(block));
  }
  for (size_t i = 0; i < plan.Terms.size(); ++i)
    plan.Terms[i].pConst = plan.Constants[i].empty() ? nullptr : plan.Constants[i].data();

  if (!plan.TextFilter.empty()) {
    const TFilterOptions options = caseInsensitive ? TFilterOptions{foCaseInsensitive} : TFilterOptions{};
    FLookupFilterParser = std::make_unique<TExprParser>(this, plan.TextFilter, options, TParserOptions{});
    FLookupFilterParseVerifier = std::make_unique<TParseVerifier>(this, FLookupFilterParser->FilterData());
  }

  // Where the cursor stood, to go back to unless a record is found.
  uint8_t saved[kEngineBookmarkSize] = {};
  uint32_t savedLength = 0;
  const bool haveBookmark =
      RareGetBookmark(SesHandle(), FHandle, saved, kEngineBookmarkSize, &savedLength) == 0 && savedLength > 0;
  bool found = false;
  Finally goBack([&] {
    if (found) return;
    if (haveBookmark)
      GotoEngineBookmark(saved, false, false);
    else
      FFirstRecord = FLastRecord = false;
  });
  int32_t tag = 0;
  CheckStatus(SetEngineFilter(plan.Terms.empty() ? nullptr : plan.Terms.data(),
                              static_cast<uint16_t>(plan.Terms.size()), tag, DRM_FILTER_SET_LOCATE));
  Finally removeFilter([&] { CheckStatus(RareRemoveFilterFromColumns(FHandle, tag, DRM_FILTER_REMOVE_LOCATE)); });
  const bool first = PvInternalFirst(false) == grOK;
  removeFilter.Run();
  found = first;
  return found;
}

}  // namespace dac
