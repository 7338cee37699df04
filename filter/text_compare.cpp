#include "filter/text_compare.h"

#include <unicode/ucasemap.h>
#include <unicode/ucol.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace dac {
namespace {

struct CollatorClose {
  void operator()(UCollator* C) const { ucol_close(C); }
};
struct CaseMapClose {
  void operator()(UCaseMap* M) const { ucasemap_close(M); }
};

// The first of the variables that is set and not empty, or "".
std::string EnvLocale(const char* Category) {
  for (const char* name : {"LC_ALL", Category, "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  return "";
}

// "de_DE.UTF-8@euro" -> "de_DE"; "" for C and POSIX (and their codesets).
std::string IcuLocaleOf(const std::string& Posix) {
  std::string id = Posix.substr(0, Posix.find_first_of(".@"));
  if (id.empty() || id == "C" || id == "POSIX") return "";
  return id;
}

struct TTextLocale {
  std::unique_ptr<UCollator, CollatorClose> Collator;  // null: byte order
  std::unique_ptr<UCaseMap, CaseMapClose> CaseMap;
  std::string CollationName;
  // Two different texts of printable ASCII never collate equal: the
  // collator ignores no punctuation (see Load) and compares at tertiary
  // strength or above.
  bool AsciiDistinct = false;
  // Lower- and upper-casing of ASCII is the plain one (not Turkish,
  // Azerbaijani or Lithuanian).
  bool PlainAsciiCase = true;
  // The C or POSIX locale maps the case of ASCII letters only, as the
  // engine's case-insensitive compares and indexes do: other bytes pass
  // through, so both paths agree on every text.
  bool AsciiOnlyCase = true;

  void Load(const std::string& Collation, const std::string& Case) {
    Collator.reset();
    CollationName = IcuLocaleOf(Collation);
    if (!CollationName.empty()) {
      UErrorCode status = U_ZERO_ERROR;
      UCollator* c = ucol_open(CollationName.c_str(), &status);
      if (U_SUCCESS(status)) {
        Collator.reset(c);
      } else {
        CollationName.clear();
      }
    }
    AsciiDistinct = false;
    if (Collator) {
      // Blanks and punctuation count in every comparison, also in locales
      // (Thai, ...) whose collation would pass over them: "abc " is not
      // "abc".
      UErrorCode status = U_ZERO_ERROR;
      ucol_setAttribute(Collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
      const UColAttributeValue strength = ucol_getAttribute(Collator.get(), UCOL_STRENGTH, &status);
      AsciiDistinct = U_SUCCESS(status) && strength >= UCOL_TERTIARY;
    }
    const std::string caseLocale = IcuLocaleOf(Case);
    AsciiOnlyCase = caseLocale.empty();
    UErrorCode status = U_ZERO_ERROR;
    CaseMap.reset(ucasemap_open(caseLocale.c_str(), 0, &status));
    if (U_FAILURE(status)) CaseMap.reset();
    const std::string lang = caseLocale.substr(0, caseLocale.find('_'));
    PlainAsciiCase = lang != "tr" && lang != "az" && lang != "lt";
  }
};

TTextLocale& State() {
  static TTextLocale state = [] {
    TTextLocale s;
    s.Load(EnvLocale("LC_COLLATE"), EnvLocale("LC_CTYPE"));
    return s;
  }();
  return state;
}

bool IsPrintableAscii(std::string_view S) {
  for (char ch : S) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

bool IsAscii(std::string_view S) {
  for (char ch : S)
    if (static_cast<unsigned char>(ch) >= 0x80) return false;
  return true;
}

int ByteCompare(std::string_view A, std::string_view B) {
  const int c = A.compare(B);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Bytes in the sequence a lead byte starts; 0 for a byte that starts none.
size_t SequenceLength(unsigned char Lead) {
  if (Lead < 0x80) return 1;
  if (Lead >= 0xC2 && Lead <= 0xDF) return 2;
  if (Lead >= 0xE0 && Lead <= 0xEF) return 3;
  if (Lead >= 0xF0 && Lead <= 0xF4) return 4;
  return 0;
}

// Length of the well-formed character at S[I], or 0 when S[I] starts none.
size_t CharAt(std::string_view S, size_t I) {
  const auto lead = static_cast<unsigned char>(S[I]);
  const size_t n = SequenceLength(lead);
  if (n <= 1) return n;
  if (I + n > S.size()) return 0;
  const auto second = static_cast<unsigned char>(S[I + 1]);
  unsigned char lo = 0x80, hi = 0xBF;
  if (lead == 0xE0) lo = 0xA0;
  if (lead == 0xED) hi = 0x9F;
  if (lead == 0xF0) lo = 0x90;
  if (lead == 0xF4) hi = 0x8F;
  if (second < lo || second > hi) return 0;
  for (size_t k = 2; k < n; ++k) {
    const auto b = static_cast<unsigned char>(S[I + k]);
    if (b < 0x80 || b > 0xBF) return 0;
  }
  return n;
}

// One step over S from I: a character, or a single stray byte.
size_t StepAt(std::string_view S, size_t I) {
  const size_t n = CharAt(S, I);
  return n == 0 ? 1 : n;
}

using TCaseFunction = int32_t (*)(const UCaseMap*, char*, int32_t, const char*, int32_t, UErrorCode*);

std::string MapCase(std::string_view S, TCaseFunction Fn, bool Lower) {
  TTextLocale& st = State();
  if (st.AsciiOnlyCase || (st.PlainAsciiCase && IsAscii(S))) {
    std::string r(S);
    for (char& c : r) {
      if (Lower && c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
      if (!Lower && c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    }
    return r;
  }
  if (!st.CaseMap || S.size() > INT32_MAX / 4) return std::string(S);
  std::string out(S.size() + 16, '\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = Fn(st.CaseMap.get(), out.data(), static_cast<int32_t>(out.size()), S.data(),
                 static_cast<int32_t>(S.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<size_t>(n), '\0');
    status = U_ZERO_ERROR;
    n = Fn(st.CaseMap.get(), out.data(), static_cast<int32_t>(out.size()), S.data(), static_cast<int32_t>(S.size()),
           &status);
  }
  if (U_FAILURE(status)) return std::string(S);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

int LocaleCompareStr(std::string_view A, std::string_view B) {
  if (A == B) return 0;
  TTextLocale& st = State();
  if (!st.Collator || !IsWellFormedUtf8(A) || !IsWellFormedUtf8(B) || A.size() > INT32_MAX || B.size() > INT32_MAX)
    return ByteCompare(A, B);
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult r = ucol_strcollUTF8(st.Collator.get(), A.data(), static_cast<int32_t>(A.size()), B.data(),
                                              static_cast<int32_t>(B.size()), &status);
  if (U_FAILURE(status)) return ByteCompare(A, B);
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

bool LocaleSameStr(std::string_view A, std::string_view B) {
  if (A == B) return true;
  TTextLocale& st = State();
  if (!st.Collator) return false;
  if (st.AsciiDistinct && IsPrintableAscii(A) && IsPrintableAscii(B)) return false;
  return LocaleCompareStr(A, B) == 0;
}

int LocaleCompareText(std::string_view A, std::string_view B) {
  return LocaleCompareStr(LocaleLowerCase(A), LocaleLowerCase(B));
}

bool LocaleSameText(std::string_view A, std::string_view B) {
  if (A == B) return true;
  return LocaleSameStr(LocaleLowerCase(A), LocaleLowerCase(B));
}

std::string LocaleLowerCase(std::string_view S) { return MapCase(S, &ucasemap_utf8ToLower, true); }
std::string LocaleUpperCase(std::string_view S) { return MapCase(S, &ucasemap_utf8ToUpper, false); }

size_t TextCharCount(std::string_view S) {
  size_t n = 0;
  for (size_t i = 0; i < S.size(); i += StepAt(S, i)) ++n;
  return n;
}

std::string_view TextFirstChars(std::string_view S, size_t N) {
  size_t i = 0;
  for (size_t k = 0; k < N && i < S.size(); ++k) i += StepAt(S, i);
  return S.substr(0, i);
}

std::string_view TextHeadFor(std::string_view Text, std::string_view Key) {
  if (!IsWellFormedUtf8(Key)) return Text.substr(0, Key.size());
  return TextFirstChars(Text, TextCharCount(Key));
}

std::string_view TextCutBytes(std::string_view S, size_t MaxBytes) {
  if (S.size() <= MaxBytes) return S;
  size_t i = 0;
  while (i < S.size()) {
    const size_t step = StepAt(S, i);
    if (i + step > MaxBytes) break;
    i += step;
  }
  return S.substr(0, i);
}

bool IsWellFormedUtf8(std::string_view S) {
  for (size_t i = 0; i < S.size();) {
    const auto c = static_cast<unsigned char>(S[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const size_t n = CharAt(S, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void SetTextLocale(const std::string& Name) {
  if (Name.empty())
    State().Load(EnvLocale("LC_COLLATE"), EnvLocale("LC_CTYPE"));
  else
    State().Load(Name, Name);
}

std::string TextCollationLocale() { return State().CollationName; }

}  // namespace dac
