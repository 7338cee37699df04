#include "app/company_text.h"

namespace quillbox {
namespace {

// Blanks and control characters: what is trimmed from either end.
bool IsTrimmed(char Ch) { return static_cast<unsigned char>(Ch) <= ' '; }
bool IsControl(char Ch) { return static_cast<unsigned char>(Ch) < ' ' || Ch == '\x7f'; }

std::string Trim(const std::string& Text) {
  size_t first = 0;
  size_t last = Text.size();
  while (first < last && IsTrimmed(Text[first])) ++first;
  while (last > first && IsTrimmed(Text[last - 1])) --last;
  return Text.substr(first, last - first);
}

}  // namespace

std::string StoredAgencyCode(const std::string& Typed) {
  std::string code = Trim(Typed);
  if (code.size() == 1) code.insert(code.begin(), ' ');
  return code;
}

namespace {

void AppendQuoted(std::string& Out, const std::string& Text) {
  Out.push_back('\'');
  for (size_t from = 0;;) {
    const size_t quote = Text.find('\'', from);
    if (quote == std::string::npos) {
      Out.append(Text, from);
      break;
    }
    Out.append(Text, from, quote + 1 - from);
    Out.push_back('\'');
    from = quote + 1;
  }
  Out.push_back('\'');
}

}  // namespace

std::string QuoteConstant(const std::string& Text) {
  std::string quoted;
  quoted.reserve(Text.size() + 2);
  AppendQuoted(quoted, Text);
  return quoted;
}

std::string ParentFilter(const std::string& Code) {
  return "AgyCode = " + QuoteConstant(Code) + " and fHasParentCmp = 0";
}

std::string SubsidiaryFilter(const std::string& Code, const std::string& ParentNumber) {
  std::string filter;
  SetSubsidiaryFilter(filter, Code, ParentNumber);
  return filter;
}

void SetSubsidiaryFilter(std::string& Out, const std::string& Code, const std::string& ParentNumber) {
  Out.assign("AgyCode = ");
  AppendQuoted(Out, Code);
  Out.append(" and MyParentCmp = ");
  AppendQuoted(Out, ParentNumber);
}

std::string CleanName(const std::string& Name) {
  std::string clean;
  AppendCleanName(clean, Name);
  return clean;
}

void AppendCleanName(std::string& Out, const std::string& Name) {
  size_t first = 0;
  size_t last = Name.size();
  while (first < last && IsTrimmed(Name[first])) ++first;
  while (last > first && IsTrimmed(Name[last - 1])) --last;
  const size_t at = Out.size();
  Out.append(Name, first, last - first);
  for (size_t i = at; i < Out.size(); ++i)
    if (Out[i] == ',' || IsControl(Out[i])) Out[i] = ' ';
}

}  // namespace quillbox
