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

std::string QuoteConstant(const std::string& Text) {
  std::string quoted;
  quoted.reserve(Text.size() + 2);
  quoted.push_back('\'');
  for (char ch : Text) {
    if (ch == '\'') quoted.push_back('\'');
    quoted.push_back(ch);
  }
  quoted.push_back('\'');
  return quoted;
}

std::string ParentFilter(const std::string& Code) {
  return "AgyCode = " + QuoteConstant(Code) + " and fHasParentCmp = 0";
}

std::string SubsidiaryFilter(const std::string& Code, const std::string& ParentNumber) {
  return "AgyCode = " + QuoteConstant(Code) + " and MyParentCmp = " + QuoteConstant(ParentNumber);
}

std::string CleanName(const std::string& Name) {
  std::string clean = Trim(Name);
  for (char& ch : clean)
    if (ch == ',' || IsControl(ch)) ch = ' ';
  return clean;
}

}  // namespace quillbox
