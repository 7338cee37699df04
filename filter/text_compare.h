#pragma once
// Text comparison and case mapping under the user's locale, shared by the
// filter evaluator, the datasets' record matching (Locate) and the tables.
//
// Texts are UTF-8. The locale is the process's: collation follows LC_ALL,
// then LC_COLLATE, then LANG; case mapping follows LC_ALL, then LC_CTYPE,
// then LANG (the codeset and "@modifier" parts are ignored). Under the C or
// POSIX locale (or none set) texts order byte by byte, which for UTF-8 is
// code-point order. Otherwise ICU's collator for that locale orders them
// (case-sensitively, at its default tertiary strength), with blanks and
// punctuation always counting, also where the locale would ignore them.
// Case mapping is
// Unicode's, with the locale's special rules (Turkish dotless i, ...);
// under C or POSIX only the ASCII letters change case, as in the engine's
// case-insensitive compares and indexes.
//
// Text that is not well-formed UTF-8 has no collation: it orders byte by
// byte, and case mapping passes its stray bytes through unchanged.
//
// The locale is read at first use. Like the rest of the component layer the
// module assumes one thread; SetTextLocale must not race with comparisons.

#include <cstddef>
#include <string>
#include <string_view>

namespace dac {

// Negative, 0 or positive: A before, equal to or after B, case counting.
int LocaleCompareStr(std::string_view A, std::string_view B);
// Equal under the collation; identical texts always are. Faster than
// LocaleCompareStr when the texts differ.
bool LocaleSameStr(std::string_view A, std::string_view B);
// As LocaleCompareStr and LocaleSameStr after lower-casing both texts.
int LocaleCompareText(std::string_view A, std::string_view B);
bool LocaleSameText(std::string_view A, std::string_view B);
std::string LocaleLowerCase(std::string_view S);
std::string LocaleUpperCase(std::string_view S);

// Characters of S: code points, a stray byte counting as one.
size_t TextCharCount(std::string_view S);
// The first N characters of S (all of S when it is shorter).
std::string_view TextFirstChars(std::string_view S, size_t N);
// The leading part of Text that a prefix compare with Key looks at: as many
// characters as Key has. When Key is not well-formed UTF-8 (a character
// cut in two), as many bytes: the engine compares prefixes byte by byte,
// and only bytes can equal a cut character. Shorter than Key's length
// when Text is.
std::string_view TextHeadFor(std::string_view Text, std::string_view Key);
// At most MaxBytes bytes of S, never ending inside a character.
std::string_view TextCutBytes(std::string_view S, size_t MaxBytes);
bool IsWellFormedUtf8(std::string_view S);

// Replaces the locale for both collation and case mapping ("de_DE.UTF-8",
// "C", ...); the empty name reads the environment again.
void SetTextLocale(const std::string& Name);
// The ICU locale of the collation, or "" for byte order.
std::string TextCollationLocale();

}  // namespace dac
