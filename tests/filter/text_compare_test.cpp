// Locale text comparison and case mapping: byte order under C, collation
// under a named locale, the locale from the environment, and text that is
// not well-formed UTF-8.

#include <gtest/gtest.h>

#include <cstdlib>

#include "filter/text_compare.h"
#include "platform/rtl/scope_guard.h"

namespace dac {
namespace {

class LocaleText : public ::testing::Test {
 protected:
  // Every test leaves the module reading the environment again.
  ~LocaleText() override { SetTextLocale(""); }
};

TEST_F(LocaleText, CLocaleOrdersBytes) {
  SetTextLocale("C");
  EXPECT_EQ(TextCollationLocale(), "");
  EXPECT_LT(LocaleCompareStr("B", "a"), 0);
  EXPECT_GT(LocaleCompareStr("\xC3\xA4", "b"), 0) << "a-umlaut is U+00E4";
  EXPECT_FALSE(LocaleSameStr("a", "A"));
  EXPECT_TRUE(LocaleSameText("a", "A"));
  // Only ASCII letters change case, as in the engine's case-insensitive
  // compares: "_" orders before the letters, and A-umlaut stays itself.
  EXPECT_LT(LocaleCompareText("_", "A"), 0);
  EXPECT_EQ(LocaleLowerCase("\xC3\x84"
                            "BC"),
            "\xC3\x84"
            "bc");
  EXPECT_FALSE(LocaleSameText("\xC3\xA4", "\xC3\x84"));
  SetTextLocale("POSIX");
  EXPECT_EQ(TextCollationLocale(), "");
}

TEST_F(LocaleText, NamedLocaleCollates) {
  SetTextLocale("de_DE.UTF-8@euro");
  EXPECT_EQ(TextCollationLocale(), "de_DE");
  EXPECT_LT(LocaleCompareStr("a", "B"), 0);
  EXPECT_LT(LocaleCompareStr("a", "A"), 0) << "case counts: lower before upper";
  EXPECT_LT(LocaleCompareStr("\xC3\xA4", "b"), 0);
  EXPECT_GT(LocaleCompareStr("abc ", "abc"), 0) << "trailing blanks count";
  EXPECT_FALSE(LocaleSameStr("abc", "abd"));
  EXPECT_FALSE(LocaleSameStr("abc", "ABC"));
  EXPECT_TRUE(LocaleSameStr("abc", "abc"));
  // Composed and decomposed a-umlaut are the same text to the collator.
  EXPECT_TRUE(LocaleSameStr("\xC3\xA4", "a\xCC\x88"));
  EXPECT_EQ(LocaleCompareText("ABC", "abd"), -1);
}

TEST_F(LocaleText, BlanksCountEvenWhereTheLocaleIgnoresThem) {
  SetTextLocale("th_TH.UTF-8");
  EXPECT_FALSE(LocaleSameStr("abc ", "abc"));
  EXPECT_FALSE(LocaleSameStr("a-b", "ab"));
  EXPECT_GT(LocaleCompareStr("abc ", "abc"), 0);
}

TEST_F(LocaleText, CaseMappingFollowsTheLocale) {
  SetTextLocale("en_US.UTF-8");
  EXPECT_EQ(LocaleLowerCase("\xC3\x84"
                            "BC-I"),
            "\xC3\xA4"
            "bc-i");
  EXPECT_EQ(LocaleUpperCase("stra\xC3\x9F"
                            "e"),
            "STRASSE");
  SetTextLocale("tr_TR.UTF-8");
  EXPECT_EQ(LocaleLowerCase("I"), "\xC4\xB1") << "dotless i";
  EXPECT_EQ(LocaleUpperCase("i"), "\xC4\xB0");
}

TEST_F(LocaleText, TheEnvironmentChoosesTheLocale) {
  const auto keep = [](const char* name) {
    const char* v = std::getenv(name);
    return std::pair<std::string, bool>(v ? v : "", v != nullptr);
  };
  const auto all = keep("LC_ALL"), collate = keep("LC_COLLATE"), lang = keep("LANG");
  Finally restore([&] {
    for (const auto& [name, value] : {std::pair{"LC_ALL", all}, {"LC_COLLATE", collate}, {"LANG", lang}}) {
      if (value.second)
        setenv(name, value.first.c_str(), 1);
      else
        unsetenv(name);
    }
  });
  unsetenv("LC_ALL");
  setenv("LANG", "C.UTF-8", 1);
  setenv("LC_COLLATE", "sv_SE.UTF-8", 1);
  SetTextLocale("");
  EXPECT_EQ(TextCollationLocale(), "sv_SE");
  setenv("LC_ALL", "C", 1);
  SetTextLocale("");
  EXPECT_EQ(TextCollationLocale(), "");
  unsetenv("LC_ALL");
  unsetenv("LC_COLLATE");
  setenv("LANG", "fr_FR.UTF-8", 1);
  SetTextLocale("");
  EXPECT_EQ(TextCollationLocale(), "fr_FR");
}

TEST_F(LocaleText, IllFormedTextOrdersByBytes) {
  SetTextLocale("en_US.UTF-8");
  EXPECT_NE(LocaleCompareStr("a\xFF", "a\xFE"), 0);
  EXPECT_FALSE(LocaleSameStr("a\xFF", "a\xFE"));
  EXPECT_EQ(LocaleLowerCase("A\xFF"
                            "B"),
            "a\xFF"
            "b");
  EXPECT_FALSE(IsWellFormedUtf8("\xC0\x80"));
  EXPECT_FALSE(IsWellFormedUtf8("\xED\xA0\x80")) << "a surrogate";
  EXPECT_FALSE(IsWellFormedUtf8("\xE2\x82"));
  EXPECT_TRUE(IsWellFormedUtf8("\xE2\x82\xAC\xF0\x9F\x98\x80"));
}

TEST(TextCharacters, CountCutAndPrefix) {
  const std::string grosse =
      "Gr\xC3\xB6\xC3\x9F"
      "e";
  EXPECT_EQ(TextCharCount(grosse), 5u);
  EXPECT_EQ(TextCharCount("a\xFF"
                          "b"),
            3u)
      << "a stray byte counts as one";
  EXPECT_EQ(TextFirstChars(grosse, 3), "Gr\xC3\xB6");
  EXPECT_EQ(TextFirstChars(grosse, 9), grosse);
  EXPECT_EQ(TextCutBytes(grosse, 4), "Gr\xC3\xB6");
  EXPECT_EQ(TextCutBytes(grosse, 3), "Gr") << "never inside a character";
  EXPECT_EQ(TextCutBytes("\xF0\x9F\x98\x80", 3), "");
  EXPECT_EQ(TextHeadFor(grosse, "xy\xC3\x84"), "Gr\xC3\xB6") << "as many characters as the key";
  EXPECT_EQ(TextHeadFor(grosse, "Gr\xC3"), "Gr\xC3") << "a key cutting a character: as many bytes";
  EXPECT_EQ(TextHeadFor("G", "Gr\xC3"), "G");
}

}  // namespace
}  // namespace dac
