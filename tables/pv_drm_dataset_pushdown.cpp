// The filter push-down of TPvDrmDataSet: a filter the engine can apply is
// split by TParseTransformer into engine filter terms, handed to the cursor
// with RareSetFilterOnColumns, and a remainder the core's DoFiltering
// evaluates on each record the engine delivers. A filter that does not
// qualify takes the core's client-side path.

#include <algorithm>
#include <string>
#include <vector>

#include "catalog/drm_misc.h"
#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
#include "platform/db/field.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"
#include "tables/pv_drm_dataset.h"

namespace dac {

namespace {

// Beyond this nesting the engine's left-to-right term list rarely holds
// much of the filter, and the client evaluates it at least as fast.
constexpr int32_t kMaxPushDownDepth = 4;

}  // namespace

// ---- the columns as the transformer sees them -----------------------------------------------

const TFilterColumn* TPvDrmDataSet::FilterColumn(int32_t FieldNo) const {
  if (FieldNo < 1 || static_cast<size_t>(FieldNo) > FFilterColumns.size()) return nullptr;
  return &FFilterColumns[static_cast<size_t>(FieldNo - 1)];
}

std::vector<uint8_t> TPvDrmDataSet::FilterConstant(TField* Field, const TFilterColumn& Column, const Variant& Value) {
  const TDRMColumnInfo* c = GetColumnCatalog()->Items(Field->FieldNo() - 1);
  // The field converts the value into its native bytes as an assignment
  // would; SetFieldData hands them here instead of to the record.
  std::vector<uint8_t> capture(c->RealDataSize + 1, 0);
  capture[0] = 1;
  {
    std::vector<uint8_t>* previous = FPutFieldInBufferSrc;
    FPutFieldInBufferSrc = &capture;
    Finally restore([&] { FPutFieldInBufferSrc = previous; });
    Field->SetValue(Value);
  }
  std::vector<uint8_t> out(std::max<size_t>({Column.BufferMax, sizeof(TDrmNumeric), c->BufferMax}), 0);
  if (capture[0] != 0 && !ColumnValueToEngine(c, capture.data() + 1, out.data()))
    std::fill(out.begin(), out.end(), uint8_t{0});
  return out;
}

// ---- activation -------------------------------------------------------------------------------

namespace {

void FillFilterColumns(TDRMColumnInfoCollection* Catalog, std::vector<TFilterColumn>& Columns) {
  Columns.clear();
  Columns.reserve(static_cast<size_t>(Catalog->Count()));
  for (int32_t i = 0; i < Catalog->Count(); ++i) {
    const TDRMColumnInfo* c = Catalog->Items(i);
    TFilterColumn f;
    f.ColumnId = c->ColumnId;
    f.cbMax = c->cbMax;
    f.BufferMax = c->BufferMax;
    f.RealDataSize = c->RealDataSize;
    f.ColumnName = c->ColumnName;
    Columns.push_back(std::move(f));
  }
}

}  // namespace

bool TPvDrmDataSet::FilterQualifiesForEngine(const std::string& Text) {
  if (Text.find('(') != std::string::npos) {
    const size_t close = Text.find(')');
    if (close != std::string::npos && Text.find_first_not_of(')', close) != std::string::npos) return false;
  }
  const std::string upper = AnsiUpperCase(Text);
  for (const char* word : {" LIKE ", " IN ", " BETWEEN "})
    if (upper.find(word) != std::string::npos) return false;
  TExprParser parser(this, Text, FilterOptions(), TParserOptions{poExtSyntax});
  FillFilterColumns(GetColumnCatalog(), FFilterColumns);
  const TParseTransformer trial(this, this, parser.FilterData());
  return trial.Depth() <= kMaxPushDownDepth;
}

void TPvDrmDataSet::CreateFilterEvaluator() {
  if (Filter().empty()) return;
  if (!FForceSimpleFilters && !FilterQualifiesForEngine(Filter())) {
    TPvDataSet::CreateFilterEvaluator();
    return;
  }
  Finally dropTransformer([this] { FParseTransformer.reset(); });
  {
    TExprParser parser(this, Filter(), FilterOptions(), TParserOptions{poExtSyntax});
    FillFilterColumns(GetColumnCatalog(), FFilterColumns);
    FParseTransformer = std::make_unique<TParseTransformer>(this, this, parser.FilterData());
  }
  FFilterTag = 0;
  int32_t tag = 0;
  CheckStatus(RareSetFilterOnColumns(FHandle, FParseTransformer->pDRMFilters(),
                                     static_cast<uint16_t>(FParseTransformer->DRMFilterCount()), &tag,
                                     DRM_FILTER_SET_DATASET));
  FFilterTag = tag;
  if (FParseTransformer->pLocalFilterParseData() != nullptr) {
    Finally removeEngineFilter([this] {
      const int32_t set = FFilterTag;
      FFilterTag = 0;
      CheckStatus(RareRemoveFilterFromColumns(FHandle, set, DRM_FILTER_REMOVE_DATASET));
    });
    FFilterParseVerifier = std::make_unique<TParseVerifier>(this, FParseTransformer->pLocalFilterParseData());
    removeEngineFilter.Dismiss();
  }
  dropTransformer.Dismiss();
}

void TPvDrmDataSet::FreeFilterEvaluator() {
  Finally freeEvaluators([this] {
    TPvDataSet::FreeFilterEvaluator();
    FParseTransformer.reset();
  });
  if (FFilterTag == 0) return;
  const int32_t tag = FFilterTag;
  FFilterTag = 0;
  if (FHandle == 0) return;  // the cursor took its filters with it
  CheckStatus(RareRemoveFilterFromColumns(FHandle, tag, DRM_FILTER_REMOVE_DATASET));
  CheckStatus(RareCancelFilterKey(FHandle, DRM_KEYSLOT_FILTER0));
  CheckStatus(RareCancelFilterKey(FHandle, DRM_KEYSLOT_FILTER1));
}

}  // namespace dac
