#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/variant.h"

namespace dac {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EVariantError& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(Variant, KindsFollowTheCppType) {
  EXPECT_EQ(Variant().VarType(), varEmpty);
  EXPECT_EQ(Variant::Null().VarType(), varNull);
  EXPECT_EQ(Variant(true).VarType(), varBoolean);
  EXPECT_EQ(Variant(int8_t{-1}).VarType(), varShortInt);
  EXPECT_EQ(Variant(uint8_t{1}).VarType(), varByte);
  EXPECT_EQ(Variant(int16_t{1}).VarType(), varSmallint);
  EXPECT_EQ(Variant(uint16_t{1}).VarType(), varWord);
  EXPECT_EQ(Variant(1).VarType(), varInteger);
  EXPECT_EQ(Variant(1u).VarType(), varLongWord);
  EXPECT_EQ(Variant(int64_t{1}).VarType(), varInt64);
  EXPECT_EQ(Variant(1LL).VarType(), varInt64);
  EXPECT_EQ(Variant(uint64_t{1}).VarType(), varQWord);
  EXPECT_EQ(Variant(1.5f).VarType(), varSingle);
  EXPECT_EQ(Variant(1.5).VarType(), varDouble);
  EXPECT_EQ(Variant(Currency::FromInt(1)).VarType(), varCurrency);
  EXPECT_EQ(Variant::FromDateTime(1).VarType(), varDate);
  EXPECT_EQ(Variant("a").VarType(), varString);
  EXPECT_EQ(Variant(std::string("a")).VarType(), varString);
  EXPECT_EQ(Variant::FromWideString("a").VarType(), varOleStr);
  EXPECT_EQ(Variant(TBytes{1, 2}).VarType(), varArray | varByte);
  EXPECT_TRUE(VarIsNull(Variant::Null()));
  EXPECT_TRUE(VarIsEmpty(Variant()));
  EXPECT_FALSE(VarIsNull(Variant()));
  EXPECT_EQ(VarTypeAsText(varString), "String");
  EXPECT_EQ(VarTypeAsText(varArray | varVariant), "Array of Variant");
}

TEST(Variant, Conversions) {
  EXPECT_EQ(Variant("42").AsInteger(), 42);
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);  // halves to even
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant().AsInteger(), 0);
  EXPECT_EQ(Variant(uint64_t{18446744073709551615ULL}).AsQWord(), 18446744073709551615ULL);
  EXPECT_TRUE(Variant("TRUE").AsBoolean());
  EXPECT_FALSE(Variant("false").AsBoolean());
  EXPECT_TRUE(Variant("2").AsBoolean());
  EXPECT_TRUE(Variant(-3).AsBoolean());
  EXPECT_FALSE(Variant(0.0).AsBoolean());
  EXPECT_DOUBLE_EQ(Variant("1,234.5").AsDouble(), 1234.5);
  EXPECT_DOUBLE_EQ(Variant(Currency::FromRaw(15)).AsDouble(), 0.0015);
  EXPECT_EQ(Variant(1.23456).AsCurrency().Raw(), 12346);
  EXPECT_EQ(Variant("0.00005").AsCurrency().Raw(), 0);
  EXPECT_EQ(Variant("1/1/2015").AsDateTime(), EncodeDate(2015, 1, 1));
  EXPECT_EQ(Variant(3).AsDateTime(), 3);

  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(false).AsString(), "False");
  EXPECT_EQ(Variant::Null().AsString(), "");
  EXPECT_EQ(VarToStr(Variant()), "");
  EXPECT_EQ(Variant(-7).AsString(), "-7");
  EXPECT_EQ(Variant(0.1).AsString(), "0.1");
  EXPECT_EQ(Variant(1.1f).AsString(), "1.1");
  EXPECT_EQ(Variant(StrToCurr("12.50")).AsString(), "12.5");
  EXPECT_EQ(Variant::FromDateTime(EncodeDateTime(2015, 1, 2, 3, 4, 5, 0)).AsString(), "1/2/2015 03:04:05");
  EXPECT_EQ(VarToStrDef(Variant::Null(), "n/a"), "n/a");
  EXPECT_EQ(Variant(TBytes{0x41, 0x42}).AsBytes(), (TBytes{0x41, 0x42}));
  EXPECT_EQ(Variant("AB").AsBytes(), (TBytes{0x41, 0x42}));
}

TEST(Variant, ConversionFailuresRaiseVariantErrors) {
  EXPECT_EQ(ErrorOf([] { Variant("abc").AsDouble(); }),
            "Could not convert variant of type (String) into type (Double)");
  EXPECT_EQ(ErrorOf([] { Variant::Null().AsInteger(); }),
            "Could not convert variant of type (Null) into type (Integer)");
  EXPECT_EQ(ErrorOf([] { Variant("maybe").AsBoolean(); }),
            "Could not convert variant of type (String) into type (Boolean)");
  EXPECT_EQ(ErrorOf([] { Variant("1.5").AsInteger(); }),
            "Could not convert variant of type (String) into type (Integer)");
  EXPECT_EQ(ErrorOf([] { Variant(int64_t{1} << 40).AsInteger(); }),
            "Range check error while converting variant of type (Int64) into type (Integer)");
  EXPECT_EQ(ErrorOf([] { Variant(1e30).AsCurrency(); }),
            "Range check error while converting variant of type (Double) into type (Currency)");
  EXPECT_EQ(ErrorOf([] { Variant("31/12/2015").AsDateTime(); }),
            "Could not convert variant of type (String) into type (Date)");
  EXPECT_EQ(ErrorOf([] { VarArrayOf({1}).AsString(); }),
            "Could not convert variant of type (Array of Variant) into type (String)");
  EXPECT_EQ(ErrorOf([] { Variant(300).AsType(varByte); }),
            "Range check error while converting variant of type (Integer) into type (Byte)");
  EXPECT_THROW(Variant(1e300).AsDateTime(), EVariantError);
  EXPECT_THROW(Variant(-1).AsQWord(), EVariantError);
}

TEST(Variant, AsTypeProducesTheRequestedKind) {
  EXPECT_EQ(Variant("12").AsType(varSmallint).VarType(), varSmallint);
  EXPECT_EQ(Variant(12).AsType(varString).AsString(), "12");
  EXPECT_EQ(Variant("x").AsType(varOleStr).VarType(), varOleStr);
  EXPECT_EQ(Variant(1).AsType(varBoolean).AsBoolean(), true);
  EXPECT_EQ(Variant(2.5).AsType(varCurrency).AsCurrency().Raw(), 25000);
  EXPECT_TRUE(Variant(1).AsType(varNull).IsNull());
}

TEST(Variant, ArithmeticKindsAndNull) {
  Variant sum = Variant(2) + Variant(3);
  EXPECT_EQ(sum.VarType(), varInteger);
  EXPECT_EQ(sum.AsInteger(), 5);
  Variant big = Variant(INT32_MAX) + Variant(1);
  EXPECT_EQ(big.VarType(), varInt64);
  EXPECT_EQ(big.AsInt64(), int64_t{INT32_MAX} + 1);
  Variant huge = Variant(INT64_MAX) * Variant(2);
  EXPECT_EQ(huge.VarType(), varDouble);
  Variant q = Variant(7) / Variant(2);
  EXPECT_EQ(q.VarType(), varDouble);
  EXPECT_DOUBLE_EQ(q.AsDouble(), 3.5);
  EXPECT_THROW(Variant(1) / Variant(0), EZeroDivide);
  EXPECT_THROW(Variant(1) / Variant(), EZeroDivide);

  Variant cat = Variant("ab") + Variant("cd");
  EXPECT_EQ(cat.VarType(), varString);
  EXPECT_EQ(cat.AsString(), "abcd");
  EXPECT_EQ((Variant("ab") + Variant::FromWideString("é")).VarType(), varOleStr);
  Variant mixed = Variant("1.5") + Variant(2);
  EXPECT_EQ(mixed.VarType(), varDouble);
  EXPECT_DOUBLE_EQ(mixed.AsDouble(), 3.5);
  EXPECT_THROW(Variant("x") + Variant(2), EVariantError);

  const TDateTime d = EncodeDate(2015, 1, 1);
  Variant later = Variant::FromDateTime(d) + Variant(1.5);
  EXPECT_EQ(later.VarType(), varDate);
  EXPECT_DOUBLE_EQ(later.AsDateTime(), d + 1.5);
  Variant span = Variant::FromDateTime(d + 3) - Variant::FromDateTime(d);
  EXPECT_EQ(span.VarType(), varDouble);
  EXPECT_DOUBLE_EQ(span.AsDouble(), 3);

  Variant money = Variant(StrToCurr("1.10")) * Variant(3);
  EXPECT_EQ(money.VarType(), varCurrency);
  EXPECT_EQ(money.AsCurrency(), StrToCurr("3.3"));
  EXPECT_EQ((Variant(StrToCurr("1")) / Variant(StrToCurr("3"))).AsCurrency().Raw(), 3333);
  EXPECT_EQ((Variant(1) / Variant(StrToCurr("4"))).VarType(), varDouble);

  EXPECT_TRUE((Variant::Null() + Variant(1)).IsNull());
  EXPECT_TRUE((Variant("a") * Variant::Null()).IsNull());
  EXPECT_TRUE((Variant() + Variant(1)).IsEmpty());
  EXPECT_EQ((-Variant(5)).AsInteger(), -5);
  EXPECT_EQ((-Variant(INT32_MIN)).VarType(), varInt64);
  EXPECT_THROW(VarArrayOf({1}) + Variant(1), EVariantError);
  EXPECT_DOUBLE_EQ((Variant(true) + Variant(true)).AsDouble(), -2);
}

TEST(Variant, ComparisonAndEquality) {
  EXPECT_TRUE(Variant(1) == Variant(1.0));
  EXPECT_TRUE(Variant(2) < Variant(2.5));
  EXPECT_TRUE(Variant("10") == Variant(10));  // string against number: as numbers
  EXPECT_TRUE(Variant("b") > Variant("a"));
  EXPECT_FALSE(Variant("a") == Variant("A"));
  EXPECT_TRUE(Variant(uint32_t{4000000000u}) > Variant(int64_t{-1}));
  EXPECT_TRUE(Variant(uint64_t{UINT64_MAX}) > Variant(INT64_MAX));
  EXPECT_TRUE(Variant(StrToCurr("1.5")) == Variant(1.5));
  EXPECT_TRUE(Variant::FromDateTime(EncodeDate(2015, 1, 1)) == Variant("1/1/2015"));
  EXPECT_TRUE(Variant(true) == Variant(5));
  EXPECT_TRUE(Variant(false) < Variant(true));
  EXPECT_TRUE(Variant(true) == Variant("True"));

  // Null equals only Null and orders below every value.
  EXPECT_TRUE(Variant::Null() == Variant::Null());
  EXPECT_FALSE(Variant::Null() == Variant(0));
  EXPECT_TRUE(Variant::Null() < Variant(-100));
  EXPECT_TRUE(Variant() < Variant::Null());
  EXPECT_EQ(VarCompareValue(Variant::Null(), Variant(1)), vrNotEqual);
  EXPECT_EQ(VarCompareValue(Variant(1), Variant(2)), vrLessThan);
  EXPECT_EQ(VarCompareValue(Variant("b"), Variant("a")), vrGreaterThan);
  EXPECT_EQ(VarCompareValue(Variant::Null(), Variant::Null()), vrEqual);

  EXPECT_THROW((void)(Variant("abc") == Variant(1)), EVariantError);
  EXPECT_THROW((void)(VarArrayOf({1}) == VarArrayOf({1})), EVariantError);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(Variant(nan) == Variant(nan));
  EXPECT_TRUE(Variant(nan).Identical(Variant(nan)));
  EXPECT_FALSE(Variant(1).Identical(Variant(1.0)));
}

TEST(Variant, ArraysHaveBoundsAndValueSemantics) {
  Variant a = VarArrayCreate(1, 3);
  EXPECT_TRUE(VarIsArray(a));
  EXPECT_EQ(VarArrayLowBound(a), 1);
  EXPECT_EQ(VarArrayHighBound(a), 3);
  EXPECT_TRUE(a[2].IsEmpty());
  a.PutElement(2, Variant("x"));
  Variant copy = a;
  copy.PutElement(2, Variant(5));
  EXPECT_EQ(a[2].AsString(), "x");  // the copy did not change the original
  EXPECT_EQ(copy[2].AsInteger(), 5);
  EXPECT_EQ(ErrorOf([&] { a.GetElement(0); }), "Variant array bounds error");
  EXPECT_EQ(ErrorOf([&] { a.PutElement(4, Variant(1)); }), "Variant array bounds error");
  EXPECT_EQ(ErrorOf([] { VarArrayLowBound(Variant(1)); }), "Variant doesn't contain an array");
  EXPECT_THROW(VarArrayHighBound(a, 2), EVariantError);
  EXPECT_EQ(VarArrayDimCount(a), 1);

  Variant typed = VarArrayCreate(0, 1, varInteger);
  EXPECT_EQ(typed.VarType(), varArray | varInteger);
  EXPECT_EQ(typed[0].VarType(), varInteger);
  typed.PutElement(1, Variant("7"));
  EXPECT_EQ(typed[1].VarType(), varInteger);
  EXPECT_EQ(typed[1].AsInteger(), 7);

  Variant keys = VarArrayOf({Variant("Smith"), Variant(42), Variant::Null()});
  EXPECT_EQ(VarArrayHighBound(keys), 2);
  EXPECT_EQ(keys[0].AsString(), "Smith");
  EXPECT_TRUE(keys[2].IsNull());
  EXPECT_EQ(VarArrayHighBound(VarArrayOf({})), -1);
  EXPECT_THROW(VarArrayCreate(5, 3), EVariantError);

  Variant bytes = Variant(TBytes{1, 2, 3});
  EXPECT_EQ(VarArrayHighBound(bytes), 2);
  EXPECT_EQ(bytes[1].VarType(), varByte);
  Variant bytesCopy = bytes;
  bytesCopy.PutElement(0, Variant(9));
  EXPECT_EQ(bytes[0].AsInteger(), 1);
  EXPECT_EQ(bytesCopy.AsBytes(), (TBytes{9, 2, 3}));
  EXPECT_THROW(bytesCopy.PutElement(0, Variant(256)), EVariantError);
  EXPECT_EQ(VarArrayCreate(0, 1, varByte).VarType(), varArray | varByte);
  Variant offsetBytes = VarArrayCreate(1, 2, varByte);
  offsetBytes.PutElement(2, Variant(7));
  EXPECT_EQ(offsetBytes.AsBytes(), (TBytes{0, 7}));
}

}  // namespace
}  // namespace dac
