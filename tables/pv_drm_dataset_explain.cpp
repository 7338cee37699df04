// TPvDrmDataSet::FilterExplanation: what the active filter became, in
// words, for tools that show how a filter runs.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/drm_values.h"
#include "filter/filter_text.h"
#include "platform/rtl/format.h"
#include "platform/rtl/sysutils.h"
#include "tables/pv_drm_dataset.h"

namespace dac {

namespace {

template <class T>
T LoadAs(const void* P) {
  T v;
  std::memcpy(&v, P, sizeof v);
  return v;
}

std::string Hex(const uint8_t* P, size_t Length) {
  std::string out = "0x";
  char digits[3];
  for (size_t i = 0; i < Length; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", P[i]);
    out += digits;
  }
  return out;
}

std::string DecimalText(const DRM_Numeric& N) {
  int64_t mantissa = 0;
  std::memcpy(&mantissa, &N.Words[DRM_NUMERIC_INTEGER], sizeof mantissa);
  const auto exponent = static_cast<int16_t>(N.Words[DRM_NUMERIC_EXPONENT]);
  return std::to_string(mantissa) + "e" + std::to_string(exponent);
}

// A term's constant in the engine format of its column, as text.
std::string EngineConstantText(const TDRMColumnInfo* Column, const void* Value, uint16_t Length) {
  if (Value == nullptr) return "NULL";
  const auto* p = static_cast<const uint8_t*>(Value);
  switch (Column->ColTyp & 0xFF) {
    case DRM_TYPE_BOOLEAN: return Length >= 1 ? (p[0] != 0 ? "True" : "False") : "?";
    case DRM_TYPE_INT8: return Length >= 1 ? std::to_string(static_cast<int8_t>(p[0])) : "?";
    case DRM_TYPE_INT16:
      if (Length >= 4 && Column->cbMax == 4) return std::to_string(LoadAs<int32_t>(p));
      return Length >= 2 ? std::to_string(LoadAs<int16_t>(p)) : "?";
    case DRM_TYPE_INT32: return Length >= 4 ? std::to_string(LoadAs<int32_t>(p)) : "?";
    case DRM_TYPE_CURRENCY: return Length >= 8 ? std::to_string(LoadAs<int64_t>(p)) + "e-4" : "?";
    case DRM_TYPE_FLOAT: return Length >= 4 ? std::to_string(LoadAs<float>(p)) : "?";
    case DRM_TYPE_DOUBLE: return Length >= 8 ? std::to_string(LoadAs<double>(p)) : "?";
    case DRM_TYPE_DATE:
      if (Length >= sizeof(DRM_Date)) {
        const auto d = LoadAs<DRM_Date>(p);
        return Format("%d-%d-%d", int{d.Year}, int{d.Month}, int{d.Day});
      }
      return "?";
    case DRM_TYPE_DECIMAL: return Length >= sizeof(DRM_Numeric) ? DecimalText(LoadAs<DRM_Numeric>(p)) : "?";
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING: {
      const auto* text = reinterpret_cast<const char*>(p);
      std::string s(text, strnlen(text, Length));
      while (!s.empty() && s.back() == ' ') s.pop_back();
      return "'" + s + "'";
    }
    default: return Hex(p, Length);
  }
}

const char* CompareText(uint8_t Code) {
  static const char* const names[] = {"?", "=", ">", "<", "<>", ">=", "<="};
  const uint8_t c = Code & 0x7F;
  return c <= 6 ? names[c] : "?";
}

const char* KindText(uint8_t Kind) {
  switch (Kind) {
    case fisConst: return "constant";
    case fisColumn: return "column";
    case fisPartialConst: return "prefix";
    case fisNull: return "null test";
    default: return "?";
  }
}

}  // namespace

std::vector<std::string> TPvDrmDataSet::FilterExplanation() {
  std::vector<std::string> lines;
  if (!Filtered() || Filter().empty()) {
    lines.push_back("filter: none");
    return lines;
  }
  if (FParseTransformer == nullptr) {
    const std::string reason = FClientSideFilters ? "the client side was asked for" : ClientSideReason(Filter());
    lines.push_back("filter: on the client (" + (reason.empty() ? std::string("not pushed down") : reason) + ")");
    return lines;
  }
  lines.push_back("filter: in the engine, " + std::to_string(FParseTransformer->DRMFilterCount()) + " term(s)");
  TDRMColumnInfoCollection* catalog = GetColumnCatalog();
  auto column = [&](uint32_t Id) -> const TDRMColumnInfo* {
    for (int32_t i = 0; i < catalog->Count(); ++i)
      if (catalog->Items(i)->ColumnId == Id) return catalog->Items(i);
    return nullptr;
  };
  const DRM_FilterStruct* terms = FParseTransformer->pDRMFilters();
  for (int32_t i = 0; i < FParseTransformer->DRMFilterCount(); ++i) {
    const DRM_FilterStruct t = terms[i];
    const TDRMColumnInfo* c = column(t.ColumnId);
    std::string line = "term " + std::to_string(i + 1) + ": " + (c ? c->ColumnName : "?") + " " +
                       CompareText(t.CompareCode) + " ";
    if (t.IsColumn == fisColumn) {
      const TDRMColumnInfo* other = column(t.CompColumnId);
      line += other ? other->ColumnName : "?";
    } else if (t.IsColumn == fisNull) {
      line += "NULL";
    } else if (c != nullptr) {
      line += EngineConstantText(c, t.pConst, t.ConstLen);
    }
    line += std::string(" (") + KindText(t.IsColumn) + ((t.CompareCode & DRM_CMP_NOCASE) ? ", without case" : "") +
            ")";
    if (i + 1 < FParseTransformer->DRMFilterCount())
      line += (t.ExprWithNextTerm & 0x7F) == DRM_JOIN_OR ? " OR" : " AND";
    lines.push_back(line);
  }
  const std::string index = GetActiveIndexName();
  if (FFilterKeyNotes.empty()) lines.push_back("filter keys: none");
  for (const TFilterKeyNote& key : FFilterKeyNotes)
    lines.push_back(Format("filter key: slot %d on index %s, column %s, flags 0x%s", key.Slot, index,
                           key.ColumnName, IntToHex(key.Flags, 3)));
  const std::string remainder = FilterDataText(FParseTransformer->pLocalFilterParseData());
  lines.push_back("remainder on the client: " + (remainder.empty() ? std::string("none") : remainder));
  return lines;
}

}  // namespace dac
