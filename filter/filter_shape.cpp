#include "filter/filter_shape.h"

#include <algorithm>
#include <cstring>

#include "filter/can_expr.h"
#include "filter/expr_parser.h"
#include "filter/node_class.h"
#include "platform/db/dataset.h"
#include "platform/db/field.h"
#include "platform/db/fields.h"
#include "platform/rtl/format_settings.h"

namespace dac {

namespace {

// Longest constant the parser keeps whole (the encoder's limit).
constexpr size_t kMaxPlainConstant = 255;

// A constant whose value never changes how the text is parsed or encoded.
bool IsPlainConstant(const std::string& Value) {
  return !Value.empty() && Value.size() <= kMaxPlainConstant && Value.back() != '*' && Value.back() != '%';
}

}  // namespace

bool TFilterShapeCache::SplitConstants(const std::string& Text, std::string& Shape,
                                       std::vector<std::string>& Constants) {
  Shape.clear();
  Constants.clear();
  const size_t n = Text.size();
  size_t i = 0;
  while (i < n) {
    // Inside a comment or a bracketed name a quote starts no constant; a
    // NUL ends the text for the parser.
    size_t run = i;
    while (run < n && Text[run] != '\'' && Text[run] != '[' && Text[run] != '\0' &&
           !(Text[run] == '/' && run + 1 < n && Text[run + 1] == '*'))
      ++run;
    Shape.append(Text, i, run - i);
    if (run == n) break;
    if (Text[run] != '\'') return false;
    std::string value;
    for (i = run + 1;;) {
      const size_t quote = Text.find('\'', i);
      if (quote == std::string::npos) return false;  // unterminated: the parser says so
      value.append(Text, i, quote - i);
      if (quote + 1 < n && Text[quote + 1] == '\'') {
        value += '\'';
        i = quote + 2;
        continue;
      }
      i = quote + 1;
      break;
    }
    if (!IsPlainConstant(value) || value.find('\0') != std::string::npos) return false;
    Shape += "''";
    Constants.push_back(std::move(value));
  }
  return true;
}

void TFilterShapeCache::PrintFields(TDataSet* DataSet, std::vector<TFieldPrint>& Out) {
  const std::vector<TField*>& fields = DataSet->Fields()->List();
  Out.resize(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    const TField* f = fields[i];
    TFieldPrint& p = Out[i];
    p.Field = f;
    p.Name = f->FieldName();
    p.DataType = static_cast<int32_t>(f->DataType());
    p.Size = f->Size();
    p.Kind = static_cast<int32_t>(f->FieldKind());
  }
}

bool TFilterShapeCache::Matches(TDataSet* DataSet, TFilterOptions Options) const {
  if (!FValid || !(Options == FOptions) || DefaultFormatSettings().DecimalSeparator != FDecimalSeparator) return false;
  const std::vector<TField*>& fields = DataSet->Fields()->List();
  if (fields.size() != FFields.size()) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    const TField* f = fields[i];
    const TFieldPrint& p = FFields[i];
    if (p.Field != f || p.DataType != static_cast<int32_t>(f->DataType()) || p.Size != f->Size() ||
        p.Kind != static_cast<int32_t>(f->FieldKind()) || p.Name != f->FieldName())
      return false;
  }
  return true;
}

// Finds every literal of FBuffer and which constant of the text each text
// constant node holds. The constants must be distinct, so that a node's
// value names its constant whatever order the encoder wrote them in.
bool TFilterShapeCache::MapLiterals(const std::vector<std::string>& Constants) {
  FLiterals.clear();
  for (size_t i = 0; i < Constants.size(); ++i)
    for (size_t j = i + 1; j < Constants.size(); ++j)
      if (Constants[i] == Constants[j]) return false;
  const tCANExpr h = ReadCANExpr(FBuffer.data());
  if (h.iTotalSize != FBuffer.size() || h.iNodeStart > h.iLiteralStart || h.iLiteralStart > FBuffer.size())
    return false;
  const uint8_t* literals = FBuffer.data() + h.iLiteralStart;
  const size_t literalBytes = FBuffer.size() - h.iLiteralStart;
  std::vector<bool> used(Constants.size(), false);
  for (size_t at = h.iNodeStart; at < h.iLiteralStart;) {
    const uint8_t* node = FBuffer.data() + at;
    const uint16_t size = NodeSize(node[0]);
    if (size == 0 || at + size > h.iLiteralStart) return false;
    TLiteral lit;
    if (node[0] == nodeFIELD) {
      lit.OffsetWord = static_cast<uint16_t>(at + 4);
      lit.Offset = ReadCANWord(node + 4);
      if (lit.Offset >= literalBytes) return false;
      const void* end = std::memchr(literals + lit.Offset, 0, literalBytes - lit.Offset);
      if (end == nullptr) return false;
      lit.Size = static_cast<uint16_t>(static_cast<const uint8_t*>(end) - (literals + lit.Offset) + 1);
      FLiterals.push_back(lit);
    } else if (node[0] == nodeCONST) {
      lit.SizeWord = static_cast<uint16_t>(at + 4);
      lit.OffsetWord = static_cast<uint16_t>(at + 6);
      lit.Size = ReadCANWord(node + 4);
      lit.Offset = ReadCANWord(node + 6);
      if (size_t{lit.Offset} + lit.Size > literalBytes) return false;
      if (ReadCANWord(node + 2) == ftString) {
        const auto* text = reinterpret_cast<const char*>(literals + lit.Offset);
        if (lit.Size == 0 || text[lit.Size - 1] != '\0') return false;
        const std::string_view value(text, lit.Size - 1u);
        const auto found = std::find(Constants.begin(), Constants.end(), value);
        if (found == Constants.end()) return false;  // a text constant the text does not spell out
        const auto index = static_cast<size_t>(found - Constants.begin());
        if (used[index]) return false;
        used[index] = true;
        lit.Constant = static_cast<int32_t>(index);
      }
      FLiterals.push_back(lit);
    }
    at += size;
  }
  if (std::find(used.begin(), used.end(), false) != used.end()) return false;
  // The literals must tile the literal area in order, as the encoder
  // appends them, for the rebuilt area to be the one it would write.
  std::sort(FLiterals.begin(), FLiterals.end(), [](const TLiteral& a, const TLiteral& b) { return a.Offset < b.Offset; });
  size_t next = 0;
  for (const TLiteral& lit : FLiterals) {
    if (lit.Offset != next) return false;
    next += lit.Size;
  }
  return next == literalBytes;
}

void TFilterShapeCache::Remember(TDataSet* DataSet, const std::string& Text, TFilterOptions Options,
                                 const TExprParser& Parser) {
  FValid = false;
  if (Parser.FilterData() == nullptr || !SplitConstants(Text, FShape, FConstants)) return;
  FBuffer.assign(Parser.FilterData(), Parser.FilterData() + Parser.DataSize());
  if (!MapLiterals(FConstants)) return;
  FOptions = Options;
  FDecimalSeparator = DefaultFormatSettings().DecimalSeparator;
  PrintFields(DataSet, FFields);
  FValid = true;
}

const uint8_t* TFilterShapeCache::Reuse(TDataSet* DataSet, const std::string& Text, TFilterOptions Options) {
  if (!Matches(DataSet, Options) || !SplitConstants(Text, FShapeNow, FConstants) || FShapeNow != FShape)
    return nullptr;
  const tCANExpr h = ReadCANExpr(FBuffer.data());
  size_t total = h.iLiteralStart;
  for (const TLiteral& lit : FLiterals)
    total += lit.Constant < 0 ? lit.Size : FConstants[static_cast<size_t>(lit.Constant)].size() + 1;
  if (total >= static_cast<size_t>(kMaxFilterBufferSize)) return nullptr;  // the parser reports the size
  FRebuilt.assign(FBuffer.begin(), FBuffer.begin() + h.iLiteralStart);
  FRebuilt.reserve(total);
  for (const TLiteral& lit : FLiterals) {
    const auto offset = static_cast<uint16_t>(FRebuilt.size() - h.iLiteralStart);
    WriteCANWord(FRebuilt.data() + lit.OffsetWord, offset);
    if (lit.Constant < 0) {
      const uint8_t* from = FBuffer.data() + h.iLiteralStart + lit.Offset;
      FRebuilt.insert(FRebuilt.end(), from, from + lit.Size);
      continue;
    }
    const std::string& value = FConstants[static_cast<size_t>(lit.Constant)];
    WriteCANWord(FRebuilt.data() + lit.SizeWord, static_cast<uint16_t>(value.size() + 1));
    FRebuilt.insert(FRebuilt.end(), value.begin(), value.end());
    FRebuilt.push_back(0);
  }
  WriteCANWord(FRebuilt.data() + 2, static_cast<uint16_t>(total));
  // The rebuilt buffer is the one the next text of this shape starts from.
  FBuffer.swap(FRebuilt);
  for (TLiteral& lit : FLiterals) lit.Offset = ReadCANWord(FBuffer.data() + lit.OffsetWord);
  for (TLiteral& lit : FLiterals)
    if (lit.Constant >= 0) lit.Size = static_cast<uint16_t>(FConstants[static_cast<size_t>(lit.Constant)].size() + 1);
  return FBuffer.data();
}

void TFilterShapeCache::Clear() {
  FValid = false;
  FBuffer.clear();
  FLiterals.clear();
  FFields.clear();
}

}  // namespace dac
