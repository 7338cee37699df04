// The filter push-down of TPvDrmDataSet: a filter the engine can apply is
// split by TParseTransformer into engine filter terms, handed to the cursor
// with RareSetFilterOnColumns, and a remainder the core's DoFiltering
// evaluates on each record the engine delivers. A filter that does not
// qualify takes the core's client-side path.

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/drm_misc.h"
#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
#include "platform/db/field.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/format.h"
#include "platform/rtl/sysutils.h"
#include "tables/pv_drm_dataset.h"

namespace dac {

namespace {

// Which of Words (upper case, each starting and ending with a blank) ASCII
// Text holds, letters compared without case: bit i for Words[i]. One pass
// over the blanks of the text serves every word.
uint32_t WordsFolded(const std::string& Text, std::initializer_list<std::string_view> Words) {
  uint32_t found = 0;
  for (size_t at = Text.find(' '); at != std::string::npos; at = Text.find(' ', at + 1)) {
    uint32_t bit = 1;
    for (std::string_view word : Words) {
      size_t k = 1;
      if (Text.size() - at >= word.size()) {
        while (k < word.size()) {
          char ch = Text[at + k];
          if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
          if (ch != word[k]) break;
          ++k;
        }
      }
      if (k == word.size()) found |= bit;
      bit <<= 1;
    }
  }
  return found;
}

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
  // would; SetFieldData hands them here instead of to the record. The
  // dataset's own capture buffer is reused unless a capture is under way.
  std::vector<uint8_t> nested;
  std::vector<uint8_t>& capture = FPutFieldInBufferSrc == nullptr ? FConstantCapture : nested;
  capture.assign(c->RealDataSize + 1, 0);
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

bool SameColumn(const TFilterColumn& Column, const TDRMColumnInfo& Info) {
  return Column.ColumnId == Info.ColumnId && Column.cbMax == Info.cbMax && Column.BufferMax == Info.BufferMax &&
         Column.RealDataSize == Info.RealDataSize && Column.ColumnName == Info.ColumnName;
}

}  // namespace

// Filters are activated once per record of a master table, so the copy is
// only rebuilt when the catalog no longer matches it.
void TPvDrmDataSet::RefreshFilterColumns() {
  TDRMColumnInfoCollection* catalog = GetColumnCatalog();
  const auto count = static_cast<size_t>(catalog->Count());
  bool current = FFilterColumns.size() == count;
  for (size_t i = 0; current && i < count; ++i)
    current = SameColumn(FFilterColumns[i], *catalog->Items(static_cast<int32_t>(i)));
  if (current) return;
  ++FFilterColumnsGeneration;
  FFilterColumns.clear();
  FFilterColumns.reserve(count);
  for (int32_t i = 0; i < catalog->Count(); ++i) {
    const TDRMColumnInfo* c = catalog->Items(i);
    TFilterColumn f;
    f.ColumnId = c->ColumnId;
    f.cbMax = c->cbMax;
    f.BufferMax = c->BufferMax;
    f.RealDataSize = c->RealDataSize;
    f.ColumnName = c->ColumnName;
    FFilterColumns.push_back(std::move(f));
  }
}

std::string TPvDrmDataSet::TextClientSideReason(const std::string& Text) {
  if (Text.find('(') != std::string::npos) {
    const size_t close = Text.find(')');
    if (close != std::string::npos && Text.find_first_not_of(')', close) != std::string::npos)
      return "parentheses inside the filter";
  }
  // Plain ASCII text (every filter the export builds) is searched in place
  // with its letters folded, which spares the character-set conversion and
  // the copy on each activation.
  const bool ascii = std::all_of(Text.begin(), Text.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
  const std::string upper = ascii ? std::string() : AnsiUpperCase(Text);
  static constexpr std::string_view kWords[] = {" LIKE ", " IN ", " BETWEEN "};
  const uint32_t inAscii = ascii ? WordsFolded(Text, {kWords[0], kWords[1], kWords[2]}) : 0;
  for (uint32_t i = 0; i < std::size(kWords); ++i) {
    const std::string_view word = kWords[i];
    const bool found = ascii ? (inAscii & (1u << i)) != 0 : upper.find(word) != std::string::npos;
    if (found) return "the filter uses" + std::string(word.substr(0, word.size() - 1));
  }
  return "";
}

std::string TPvDrmDataSet::DepthClientSideReason(const TParseTransformer& Transformer) {
  if (Transformer.Depth() > kMaxPushDownDepth)
    return Format("comparisons nested %d deep (more than 4)", Transformer.Depth());
  return "";
}

// A text of the last one's shape reuses its parse and, when the columns are
// the same, its transformation's plan; the plan of whatever transformation
// is made here replaces the last one.
std::unique_ptr<TParseTransformer> TPvDrmDataSet::TransformFilter(const std::string& Text) {
  std::optional<TParseTransformer::TPlan> plan = std::move(FFilterPlan);
  FFilterPlan.reset();
  std::unique_ptr<TParseTransformer> transformer;
  if (const uint8_t* reused = FFilterShapes.Reuse(this, Text, FilterOptions())) {
    RefreshFilterColumns();
    if (plan && FFilterPlanColumns == FFilterColumnsGeneration)
      transformer = TParseTransformer::FromPlan(this, this, reused, *plan);
    if (transformer) {
      // A plan reproduces itself: keep it rather than copy it back.
      FFilterPlan = std::move(plan);
      return transformer;
    }
    transformer = std::make_unique<TParseTransformer>(this, this, reused);
  } else {
    TExprParser parser(this, Text, FilterOptions(), TParserOptions{poExtSyntax});
    FFilterShapes.Remember(this, Text, FilterOptions(), parser);
    RefreshFilterColumns();
    transformer = std::make_unique<TParseTransformer>(this, this, parser.FilterData());
  }
  FFilterPlan = transformer->Plan();
  FFilterPlanColumns = FFilterColumnsGeneration;
  return transformer;
}

std::string TPvDrmDataSet::ClientSideReason(const std::string& Text) {
  std::string reason = TextClientSideReason(Text);
  if (!reason.empty()) return reason;
  return DepthClientSideReason(*TransformFilter(Text));
}

bool TPvDrmDataSet::FilterQualifiesForEngine(const std::string& Text) { return ClientSideReason(Text).empty(); }

int32_t TPvDrmDataSet::SetEngineFilter(const DRM_FilterStruct* Terms, uint16_t Count, int32_t& Tag, int32_t Mode) {
  return RareSetFilterOnColumns(FHandle, Terms, Count, &Tag, Mode);
}

void TPvDrmDataSet::SetFilterKeySlot(uint32_t ColumnId, int32_t Slot, const std::vector<uint8_t>& Value,
                                     uint16_t Length, uint32_t Flags) {
  CheckStatus(RareMakeFilterKey(FHandle, ColumnId, Slot, Value.data(), Length, Flags));
}

void TPvDrmDataSet::CancelFilterKeySlot(int32_t Slot) { CheckStatus(RareCancelFilterKey(FHandle, Slot)); }

std::vector<TPvDrmDataSet::TIndexSegment> TPvDrmDataSet::CurrentIndexSegments() {
  std::vector<TIndexSegment> segments;
  const std::string name = GetActiveIndexName();
  if (name.empty()) return segments;
  TDRMIndexInfoCollection* indexes = GetIndexCatalog();
  for (int32_t i = 0; i < indexes->Count(); ++i) {
    const TDRMIndexInfo* seg = indexes->Items(i);
    if (seg->IndexName == name) segments.push_back({seg->IndexedColumnName, seg->grBitIndex, seg->grBitColumn});
  }
  return segments;
}

namespace {

constexpr uint8_t kCompareMask = 0x07;

}  // namespace

// Equality terms on the leading segments of the current index become keys
// in slots 0 (lower) and 1 (upper), which tell the engine the index range
// the terms leave. The engine also finds that range from the terms
// themselves, so the keys only ever narrow what it reads.
void TPvDrmDataSet::SetFilterKeys() {
  FFilterKeyNotes.clear();
  const std::vector<TIndexSegment> segments = CurrentIndexSegments();
  const int32_t termCount = FParseTransformer->DRMFilterCount();
  if (segments.empty() || termCount == 0) return;
  const DRM_FilterStruct* terms = FParseTransformer->pDRMFilters();
  const size_t positions = std::min(segments.size(), static_cast<size_t>(termCount));
  auto columnOfSegment = [&](size_t i) -> const TFilterColumn* {
    TField* field = FindField(segments[i].ColumnName);
    return field != nullptr ? FilterColumn(field->FieldNo()) : nullptr;
  };
  size_t matching = 0;  // leading terms on the leading segments, in order
  while (matching < positions) {
    const TFilterColumn* column = columnOfSegment(matching);
    const uint32_t termColumn = terms[matching].ColumnId;
    if (column == nullptr || column->ColumnId != termColumn) break;
    ++matching;
  }
  bool first = true;
  for (size_t i = 0; i < positions; ++i) {
    const DRM_FilterStruct term = terms[i];
    const TFilterColumn* column = columnOfSegment(i);
    if (column == nullptr || column->ColumnId != term.ColumnId) continue;
    const uint8_t joint = term.ExprWithNextTerm;
    if (term.IsColumn != fisConst || (joint != DRM_JOIN_AND && joint != DRM_JOIN_NONE) ||
        (term.CompareCode & kCompareMask) != DRM_CMP_EQ)
      break;
    uint32_t flags = first ? DRM_KEYFLAG_FIRST : 0;
    first = false;
    if ((joint == DRM_JOIN_NONE && segments.size() > i + 1) || (i < matching && segments.size() > matching))
      flags |= DRM_KEYFLAG_PARTIAL;
    std::vector<uint8_t> block(std::max<size_t>(column->cbMax, term.ConstLen), 0);
    if (term.pConst != nullptr) std::memcpy(block.data(), term.pConst, term.ConstLen);
    const bool nextIsRange = static_cast<int32_t>(i) + 1 < termCount &&
                             (terms[i + 1].CompareCode & kCompareMask) != DRM_CMP_EQ;
    SetFilterKeySlot(term.ColumnId, DRM_KEYSLOT_FILTER0, block, term.ConstLen, flags);
    FFilterKeyNotes.push_back({DRM_KEYSLOT_FILTER0, column->ColumnName, flags});
    const uint32_t upperFlags = flags | (nextIsRange ? DRM_KEYFLAG_PARTIAL : 0);
    SetFilterKeySlot(term.ColumnId, DRM_KEYSLOT_FILTER1, block, term.ConstLen, upperFlags);
    FFilterKeyNotes.push_back({DRM_KEYSLOT_FILTER1, column->ColumnName, upperFlags});
  }
}

void TPvDrmDataSet::CreateFilterEvaluator() {
  if (Filter().empty()) return;
  // The filter is parsed and transformed once: the transformer that tells
  // whether the engine should take it is the one handed to the engine.
  std::unique_ptr<TParseTransformer> transformer;
  if (!FClientSideFilters && (FForceSimpleFilters || TextClientSideReason(Filter()).empty())) {
    transformer = TransformFilter(Filter());
    if (!FForceSimpleFilters && !DepthClientSideReason(*transformer).empty()) transformer.reset();
  }
  if (!transformer) {
    TPvDataSet::CreateFilterEvaluator();
    return;
  }
  // Whatever fails on the way leaves no transformer, no evaluator, no
  // filter keys and no engine filter behind.
  int32_t tag = 0;
  Finally undo([this, &tag] {
    FFilterParseVerifier.reset();
    FParseTransformer.reset();
    FFilterKeyNotes.clear();
    FFilterTag = 0;
    if (FHandle == 0) return;
    RunAll([&] { if (tag != 0) CheckStatus(RareRemoveFilterFromColumns(FHandle, tag, DRM_FILTER_REMOVE_DATASET)); },
           [&] { CancelFilterKeySlot(DRM_KEYSLOT_FILTER0); }, [&] { CancelFilterKeySlot(DRM_KEYSLOT_FILTER1); });
  });
  FParseTransformer = std::move(transformer);
  FFilterTag = 0;
  SetFilterKeys();
  CheckStatus(SetEngineFilter(FParseTransformer->pDRMFilters(),
                              static_cast<uint16_t>(FParseTransformer->DRMFilterCount()), tag,
                              DRM_FILTER_SET_DATASET));
  FFilterTag = tag;
  if (FParseTransformer->pLocalFilterParseData() != nullptr)
    FFilterParseVerifier = std::make_unique<TParseVerifier>(this, FParseTransformer->pLocalFilterParseData());
  undo.Dismiss();
}

void TPvDrmDataSet::FreeFilterEvaluator() {
  Finally freeEvaluators([this] {
    TPvDataSet::FreeFilterEvaluator();
    FParseTransformer.reset();
    FFilterKeyNotes.clear();
  });
  if (FFilterTag == 0) return;
  const int32_t tag = FFilterTag;
  FFilterTag = 0;
  if (FHandle == 0) return;  // the cursor took its filters with it
  CheckStatus(RareRemoveFilterFromColumns(FHandle, tag, DRM_FILTER_REMOVE_DATASET));
  CancelFilterKeySlot(DRM_KEYSLOT_FILTER0);
  CancelFilterKeySlot(DRM_KEYSLOT_FILTER1);
}

}  // namespace dac
