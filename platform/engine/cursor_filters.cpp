// Selection: filter terms, filter keys and ranges, compiled into the SQL
// condition of a cursor's visible set.
#include <cmath>
#include <cstring>

#include "platform/engine/cursor_core.h"

namespace drmengine {
namespace {

const char* kOps[] = {"", "=", ">", "<", "<>", ">=", "<="};

// The visible set changed: its condition is rebuilt before the next read.
// Prepared statements stay cached by their text.
void SelectionChanged(Cursor* c) {
  DropLive(c);
  c->visDirty = true;
}

bool LeadsNoCaseIndex(const Cursor* c, uint32_t colId) {
  for (auto& ix : c->meta->indexes)
    if (!ix.segments.empty() && ix.segments[0].columnId == colId && c->meta->SegmentNoCase(ix, ix.segments[0]))
      return true;
  return false;
}

// A constant strictly between the scaled integers v and v + 1 of a decimal
// column: no stored value equals it, and the order comparisons become
// comparisons with v.
std::string BetweenScaledSql(const std::string& x, int code, Val v, std::vector<Val>& binds) {
  switch (code) {
    case DRM_CMP_EQ: return "0";
    case DRM_CMP_NE: return x + " IS NOT NULL";
    case DRM_CMP_GT:
    case DRM_CMP_GE: binds.push_back(std::move(v)); return "(" + x + " > ?)";
    default: binds.push_back(std::move(v)); return "(" + x + " <= ?)";
  }
}

// A Boolean column compared with a Boolean constant: the client reads any
// non-zero byte as true, so the engine compares truth values too. NULL, as
// for every other compare, matches nothing.
std::string BooleanCompareSql(const std::string& x, int code, bool value) {
  const std::string isTrue = "(" + x + " <> 0)", isFalse = "(" + x + " = 0)", known = x + " IS NOT NULL";
  switch (code) {
    case DRM_CMP_EQ: return value ? isTrue : isFalse;
    case DRM_CMP_NE: return value ? isFalse : isTrue;
    case DRM_CMP_GT: return value ? "0" : isTrue;
    case DRM_CMP_LT: return value ? isFalse : "0";
    case DRM_CMP_GE: return value ? isTrue : known;
    default: return value ? known : isFalse;  // DRM_CMP_LE
  }
}

// Column `a` (as SQL `x`) as the value it stands for when compared with
// column `b`: stored integers of different scales are brought to the finer
// scale, and to a real when the other side is floating point.
std::string ComparedValue(const ColumnMeta& a, const ColumnMeta& b, const std::string& x) {
  const int32_t sa = NumericScaleOf(a), sb = NumericScaleOf(b);
  if (sa < 0 || sb == kNotNumeric || sa == sb) return x;
  if (sb == kRealScale) return sa == 0 ? x : "(" + x + " / 1e" + std::to_string(sa) + ")";
  if (sb > sa) return "(" + x + " * " + std::to_string(static_cast<int64_t>(std::pow(10.0, sb - sa))) + ")";
  return x;
}

// The least text above every text that starts with the (folded) prefix p,
// "" when there is none. Without case, the byte after '@' would be 'A',
// which folds back to 'a' and lets "[\\]^_`" in: the next folded byte is '['.
std::string PrefixUpperBound(std::string p, bool nocase) {
  while (!p.empty() && static_cast<unsigned char>(p.back()) == 0xFF) p.pop_back();
  if (p.empty()) return p;
  p.back() = static_cast<char>(p.back() + 1);
  if (nocase && p.back() >= 'A' && p.back() <= 'Z') p.back() = '[';
  return p;
}

// Appends the SQL of term t to out.
int32_t TermSql(Cursor* c, const Term& t, std::string& out, std::vector<Val>& binds, std::string& what) {
  const ColumnMeta* col = c->meta->Column(t.columnId);
  if (!col) {
    what = "filter term names column id " + std::to_string(t.columnId) + ", which " + Describe(c) + " lacks";
    return DRM_ERR_INVALID_COLUMN_ID;
  }
  int code = t.code & 0x7F;
  bool nocase = (t.code & 0x80) && col->IsText();
  const std::string x = col->SqlName();
  auto appendXe = [&] {
    out += x;
    if (nocase) out += " COLLATE NOCASE";
  };
  switch (t.kind) {
    case fisNull:
      out += x;
      out += code == DRM_CMP_EQ ? " IS NULL" : " IS NOT NULL";
      return 0;
    case fisColumn: {
      const ColumnMeta* other = c->meta->Column(t.compColumnId);
      if (!other) {
        what = "filter term compares with column id " + std::to_string(t.compColumnId) + ", which " + Describe(c) +
               " lacks";
        return DRM_ERR_INVALID_COLUMN_ID;
      }
      const std::string xe = nocase ? x + " COLLATE NOCASE" : x;
      out += "(" + ComparedValue(*col, *other, xe) + " " + kOps[code] + " " + ComparedValue(*other, *col, other->SqlName()) + ")";
      return 0;
    }
    case fisPartialConst:
      if (col->IsText() || col->Drm() == DRM_TYPE_BINARY || col->Drm() == DRM_TYPE_VARBINARY) {
        std::string p = t.constBytes;
        if (col->IsText()) {
          p = p.substr(0, strnlen(p.c_str(), p.size()));
          if (col->Drm() == DRM_TYPE_TEXT)
            while (!p.empty() && p.back() == ' ') p.pop_back();
        }
        if (t.constNull) {
          out += "0";
          return 0;
        }
        if (p.empty()) {
          out += code == DRM_CMP_NE ? "0" : x + " IS NOT NULL";
          return 0;
        }
        if (col->IsText() && (code == DRM_CMP_EQ || code == DRM_CMP_GE || code == DRM_CMP_NE)) {
          // Leading bytes equal, as a range so that an index can seek.
          if (nocase)
            for (char& ch : p)
              if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
          const std::string xe = nocase ? x + " COLLATE NOCASE" : x;
          const std::string upper = PrefixUpperBound(p, nocase);
          std::string match = "(" + xe + " >= ?";
          binds.push_back(Val::MakeText(p));
          if (!upper.empty()) {
            match += " AND " + xe + " < ?";
            binds.push_back(Val::MakeText(upper));
          }
          match += ")";
          out += code == DRM_CMP_NE ? "(" + x + " IS NOT NULL AND NOT " + match + ")" : match;
          return 0;
        }
        // The leading ConstLen bytes, not characters: substr of a blob counts bytes.
        std::string sub = "substr(CAST(" + x + " AS BLOB), 1, " + std::to_string(p.size()) + ")";
        if (col->IsText()) sub = "CAST(" + sub + " AS TEXT)";
        if (nocase) sub += " COLLATE NOCASE";
        out += "(" + sub + " " + kOps[code] + " ?)";
        binds.push_back(col->IsText() ? Val::MakeText(p) : Val::MakeBlob(p));
        return 0;
      }
      [[fallthrough]];
    case fisConst: {
      if (t.constNull) {
        out += "0";
        return 0;
      }
      Val v;
      bool between = false;
      int32_t r = ComparableConst(*col, t.constBytes.data(), static_cast<uint32_t>(t.constBytes.size()), v, between,
                                  what);
      if (r) return r;
      if (v.IsNull()) {
        out += "0";
        return 0;
      }
      if (between) {
        out += BetweenScaledSql(x, code, std::move(v), binds);
        return 0;
      }
      if (col->Drm() == DRM_TYPE_BOOLEAN && v.kind == Val::Int) {
        out += BooleanCompareSql(x, code, v.i != 0);
        return 0;
      }
      if (code == DRM_CMP_EQ && !nocase && col->IsText() && LeadsNoCaseIndex(c, col->id)) {
        // Equal bytes are also equal without case: the second condition adds
        // nothing but lets a case-insensitive index on the column seek.
        out += "(+";
        out += x;
        out += " = ? AND ";
        out += x;
        out += " COLLATE NOCASE = ?)";
        binds.push_back(v);
      } else {
        out += '(';
        appendXe();
        out += ' ';
        out += kOps[code];
        out += " ?)";
      }
      binds.push_back(std::move(v));
      return 0;
    }
  }
  what = "filter term kind " + std::to_string(t.kind) + " is not known";
  return DRM_ERR_FILTER_NOT_SUPPORTED;
}

bool SegmentOfIndex(const Cursor* c, uint32_t colId, bool& nocase) {
  if (c->indexPos < 0) return false;
  auto& ix = c->meta->indexes[static_cast<size_t>(c->indexPos)];
  for (auto& sg : ix.segments)
    if (sg.columnId == colId) {
      nocase = c->meta->SegmentNoCase(ix, sg);
      return true;
    }
  return false;
}

// Key parts as index-order segments: the current index's leading segments,
// or the parts' own columns ascending when there is no index.
std::vector<LexSeg> KeySegs(const Cursor* c, const std::vector<KeyPart>& parts) {
  std::vector<LexSeg> segs;
  const IndexMeta* ix = c->indexPos >= 0 ? &c->meta->indexes[static_cast<size_t>(c->indexPos)] : nullptr;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (ix && i < ix->segments.size()) {
      auto& sg = ix->segments[i];
      segs.push_back(
          {SegSql(c, c->meta->ColumnIndex(sg.columnId), c->meta->SegmentNoCase(*ix, sg)), sg.descending, false});
    } else {
      const ColumnMeta* col = c->meta->Column(parts[i].columnId);
      int idx = c->meta->ColumnIndex(parts[i].columnId);
      segs.push_back({SegSql(c, idx, col && col->IsText() && col->CaseFolded()), false, false});
    }
  }
  return segs;
}

// The values an inclusive bound compares with: a decimal key between two
// scaled integers becomes the nearer one inside the bound (the next one on
// the low side of the index order, itself on the high side).
std::vector<Val> KeyBounds(const std::vector<KeyPart>& parts, const std::vector<LexSeg>& segs, bool startSide) {
  std::vector<Val> bounds;
  for (size_t i = 0; i < parts.size(); ++i) {
    Val v = parts[i].value;
    if (parts[i].between && startSide != segs[i].desc) ++v.i;
    bounds.push_back(std::move(v));
  }
  return bounds;
}

// Plain bounds on the first segment that repeat what the two sides of a
// range imply, so that SQLite seeks to the range instead of scanning the
// index. A bound is given only where it excludes no NULL the range holds:
// NULL sorts lowest, first in an ascending segment and last in a
// descending one.
std::string RangeBounds(const Cursor* c, std::vector<Val>& binds) {
  const std::vector<LexSeg> segs = KeySegs(c, c->rangeStart);
  const LexSeg& seg = segs[0];
  const Val start = KeyBounds(c->rangeStart, segs, true)[0];
  const Val end = KeyBounds(c->rangeEnd, KeySegs(c, c->rangeEnd), false)[0];
  const Val& low = seg.desc ? end : start;
  const Val& high = seg.desc ? start : end;
  std::string out = "1";
  if (!low.IsNull()) {
    out = seg.expr + " >= ?";
    binds.push_back(low);
    if (!high.IsNull()) {
      out += " AND " + seg.expr + " <= ?";
      binds.push_back(high);
    }
  }
  return out;
}

}  // namespace

int32_t BuildVis(Cursor* c, std::string& what) {
  // Built in place, with room for what the last build needed: a filter set
  // once per master record rebuilds the same text each time.
  std::string vis;
  vis.reserve(c->vis.size());
  std::vector<Val> binds;
  binds.reserve(c->visBinds.size());
  auto addPart = [&vis](const std::string& p) {
    if (!vis.empty()) vis += " AND ";
    vis += p;
  };
  bool locate = false;
  for (auto& [tag, f] : c->filters) {
    if (f.first == DRM_FILTER_SET_LOCATE) locate = true;
    const std::vector<Term>& terms = f.second;
    if (terms.empty()) continue;
    // Strictly left to right: ((t0 j0 t1) j1 t2)...
    if (!vis.empty()) vis += " AND ";
    vis.append(terms.size() - 1, '(');
    for (size_t i = 0; i < terms.size(); ++i) {
      if (i > 0) vis += (terms[i - 1].joint & 0x7F) == DRM_JOIN_OR ? " OR " : " AND ";
      if (int32_t r = TermSql(c, terms[i], vis, binds, what)) return r;
      if (i > 0) vis += ')';
    }
  }
  if (c->rangeActive) {
    if (!c->rangeStart.empty() && !c->rangeEnd.empty()) addPart(RangeBounds(c, binds));
    for (int side = 0; side < 2; ++side) {
      auto& p = side == 0 ? c->rangeStart : c->rangeEnd;
      if (p.empty()) {
        addPart("0");
        continue;
      }
      const auto segs = KeySegs(c, p);
      const std::vector<Val> bounds = KeyBounds(p, segs, side == 0);
      std::vector<const Val*> vals;
      for (auto& v : bounds) vals.push_back(&v);
      addPart(Lex(segs, vals, side == 0, false, binds));
    }
  }
  auto& seek = c->slots[DRM_KEYSLOT_SEEK];
  if (!seek.empty() && !locate) {
    bool partial = false;
    for (auto& kp : seek) partial |= (kp.flags & DRM_KEYFLAG_PARTIAL) != 0;
    if (partial) {
      auto segs = KeySegs(c, seek);
      const std::vector<Val> bounds = KeyBounds(seek, segs, true);
      std::vector<const Val*> vals;
      for (auto& v : bounds) vals.push_back(&v);
      std::string lead = LeadBound(segs[0], *vals[0], true, binds);
      addPart(lead + Lex(segs, vals, true, false, binds));
    } else {
      for (auto& kp : seek) {
        const ColumnMeta* col = c->meta->Column(kp.columnId);
        bool nocase = false;
        if (!SegmentOfIndex(c, kp.columnId, nocase)) nocase = col->IsText() && col->CaseFolded();
        std::string x = SegSql(c, c->meta->ColumnIndex(kp.columnId), nocase);
        if (kp.between)
          addPart("0");  // no stored decimal equals it
        else if (kp.value.IsNull())
          addPart(x + " IS NULL");
        else {
          addPart(x + " = ?");
          binds.push_back(kp.value);
        }
      }
    }
  }
  if (vis.empty())
    c->vis = "1";
  else
    c->vis.swap(vis);
  c->visBinds = std::move(binds);
  c->visDirty = false;
  ++c->visSerial;
  return 0;
}

}  // namespace drmengine

using namespace drmengine;

extern "C" {

int32_t RareSetFilterOnColumns(uint32_t hTable, const DRM_FilterStruct* terms, uint16_t count, int32_t* tag,
                               int32_t mode) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    if (!tag || (count && !terms))
      return Fail(s, DRM_ERR_INVALID_PARAMETER, "filter terms or the tag place are missing");
    std::vector<Term> list;
    list.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
      const DRM_FilterStruct& f = terms[i];
      Term t;
      t.kind = f.IsColumn;
      t.columnId = f.ColumnId;
      t.joint = f.ExprWithNextTerm;
      t.code = f.CompareCode;
      t.compColumnId = f.CompColumnId;
      int code = f.CompareCode & 0x7F;
      if (t.kind > fisNull || code < 1 || code > 6 || (t.kind == fisNull && code != 1 && code != 4))
        return Fail(s, DRM_ERR_FILTER_NOT_SUPPORTED,
                    "filter term " + std::to_string(i + 1) + " has kind " + std::to_string(t.kind) +
                        " and compare code " + std::to_string(f.CompareCode) + ", which this engine does not evaluate");
      const ColumnMeta* col = c->meta->Column(f.ColumnId);
      if (!col)
        return Fail(s, DRM_ERR_INVALID_COLUMN_ID,
                    "filter term " + std::to_string(i + 1) + " names column id " + std::to_string(f.ColumnId) +
                        ", which " + Describe(c) + " lacks");
      if (col->IsLong() && t.kind != fisNull)
        return Fail(s, DRM_ERR_FILTER_NOT_SUPPORTED,
                    "column '" + col->name + "' holds long values, which filter terms can only test for NULL");
      if (t.kind == fisColumn && !c->meta->Column(f.CompColumnId))
        return Fail(s, DRM_ERR_INVALID_COLUMN_ID,
                    "filter term " + std::to_string(i + 1) + " compares with column id " +
                        std::to_string(f.CompColumnId) + ", which " + Describe(c) + " lacks");
      if ((t.kind == fisConst || t.kind == fisPartialConst) && f.pConst) {
        t.constNull = false;
        t.constBytes.assign(static_cast<const char*>(f.pConst), f.ConstLen);
        if (t.kind == fisConst) {
          Val v;
          bool between = false;
          std::string what;
          if (int32_t r = ComparableConst(*col, t.constBytes.data(), f.ConstLen, v, between, what); r < 0)
            return Fail(s, r, what);
        }
      }
      list.push_back(std::move(t));
    }
    int32_t newTag = c->nextTag++;
    c->filters[newTag] = {mode == DRM_FILTER_SET_LOCATE ? DRM_FILTER_SET_LOCATE : DRM_FILTER_SET_DATASET,
                          std::move(list)};
    if (mode == DRM_FILTER_SET_DATASET) {
      c->rmFilter.assign(terms, terms + count);
      c->rmFilterConsts.clear();
      for (auto& f : c->rmFilter) {
        c->rmFilterConsts.emplace_back(f.pConst ? std::string(static_cast<const char*>(f.pConst), f.ConstLen)
                                                : std::string());
      }
      for (size_t i = 0; i < c->rmFilter.size(); ++i)
        if (c->rmFilter[i].pConst) c->rmFilter[i].pConst = c->rmFilterConsts[i].data();
    }
    SelectionChanged(c);
    *tag = newTag;
    return 0;
  });
}

int32_t RareRemoveFilterFromColumns(uint32_t hTable, int32_t tag, int32_t) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    auto it = c->filters.find(tag);
    if (it == c->filters.end())
      return Fail(c->session, DRM_ERR_INVALID_PARAMETER,
                  "filter tag " + std::to_string(tag) + " is not set on " + Describe(c));
    if (it->second.first == DRM_FILTER_SET_DATASET) {
      c->rmFilter.clear();
      c->rmFilterConsts.clear();
    }
    c->filters.erase(it);
    SelectionChanged(c);
    return 0;
  });
}

int32_t RareMakeFilterKey(uint32_t hTable, uint32_t columnId, int32_t slot, const void* value, uint16_t length,
                          uint32_t flags) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (slot < 0 || slot > 4)
      return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "filter-key slot " + std::to_string(slot) + " is not 0 to 4");
    const ColumnMeta* col = c->meta->Column(columnId);
    if (!col)
      return Fail(c->session, DRM_ERR_INVALID_COLUMN_ID,
                  Describe(c) + " has no column with id " + std::to_string(columnId));
    if (col->IsLong())
      return Fail(c->session, DRM_ERR_CANNOT_INDEX_LONG,
                  "column '" + col->name + "' holds long values and cannot be a key part");
    KeyPart kp;
    kp.columnId = columnId;
    kp.flags = flags;
    std::string what;
    if (int32_t r = ComparableConst(*col, value, length, kp.value, kp.between, what); r < 0)
      return Fail(c->session, r, what);
    if (flags & DRM_KEYFLAG_FIRST) c->slots[slot].clear();
    c->slots[slot].push_back(std::move(kp));
    if (slot == DRM_KEYSLOT_SEEK) SelectionChanged(c);
    return 0;
  });
}

int32_t RareCancelFilterKey(uint32_t hTable, int32_t slot) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (slot < 0 || slot > 4)
      return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "filter-key slot " + std::to_string(slot) + " is not 0 to 4");
    bool had = !c->slots[slot].empty();
    c->slots[slot].clear();
    if (slot == DRM_KEYSLOT_SEEK && had) SelectionChanged(c);
    return 0;
  });
}

int32_t RareSetRange(uint32_t hTable, const DRM_FilterStruct*, uint16_t, const DRM_FilterStruct*, uint16_t) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    // The key slots are authoritative; the term lists only repeat them.
    c->rangeStart = c->slots[DRM_KEYSLOT_RANGE_START];
    c->rangeEnd = c->slots[DRM_KEYSLOT_RANGE_END];
    c->rangeActive = true;
    SelectionChanged(c);
    return 0;
  });
}

int32_t RareCancelRange(uint32_t hTable) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (c->rangeActive) {
      c->rangeActive = false;
      SelectionChanged(c);
    }
    return 0;
  });
}

}  // extern "C"
