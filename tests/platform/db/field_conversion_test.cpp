// Every field class: values through AsVariant and the As* accessors, the
// native record-slot form, and the conversion errors.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "db_test_support.h"
#include "platform/db/binary_fields.h"
#include "platform/db/date_time_fields.h"
#include "platform/db/numeric_fields.h"
#include "platform/db/string_field.h"
#include "platform/rtl/streams.h"

namespace dac::testing {
namespace {

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds = CreateUnowned<TMemoryDataSet>();
    ds->SetName("All");
    auto* d = ds->FieldDefs();
    d->Add("S", ftString, 10);
    d->Add("FC", ftFixedChar, 4);
    d->Add("SI", ftSmallint);
    d->Add("I", ftInteger);
    d->Add("W", ftWord);
    d->Add("L", ftLargeint);
    d->Add("B", ftBoolean);
    d->Add("F", ftFloat);
    d->Add("C", ftCurrency);
    d->Add("BC", ftBCD, 2);
    d->Items(9)->SetPrecision(10);
    d->Add("D", ftDate);
    d->Add("T", ftTime);
    d->Add("DT", ftDateTime);
    d->Add("BY", ftBytes, 4);
    d->Add("VB", ftVarBytes, 6);
    d->Add("BL", ftBlob);
    d->Add("M", ftMemo);
    ds->Open();
    ds->Append();
  }
  TField* F(const char* n) { return ds->FieldByName(n); }
  // The native slot bytes of a field.
  std::vector<uint8_t> Slot(const char* n) {
    TField* f = F(n);
    std::vector<uint8_t> b(static_cast<size_t>(f->DataSize()) + 8, 0xEE);
    EXPECT_TRUE(f->GetData(b.data()));
    b.resize(static_cast<size_t>(f->DataSize()));
    return b;
  }
  template <typename T>
  T SlotAs(const char* n) {
    std::vector<uint8_t> b = Slot(n);
    T v;
    std::memcpy(&v, b.data(), sizeof v);
    return v;
  }
  TFreePtr<TMemoryDataSet> ds;
};

TEST_F(FieldTest, ClassesSizesAndNull) {
  EXPECT_NE(dynamic_cast<TStringField*>(F("S")), nullptr);
  EXPECT_TRUE(dynamic_cast<TStringField*>(F("FC"))->FixedChar());
  EXPECT_NE(dynamic_cast<TSmallintField*>(F("SI")), nullptr);
  EXPECT_NE(dynamic_cast<TWordField*>(F("W")), nullptr);
  EXPECT_NE(dynamic_cast<TLargeintField*>(F("L")), nullptr);
  EXPECT_NE(dynamic_cast<TCurrencyField*>(F("C")), nullptr);
  EXPECT_NE(dynamic_cast<TBCDField*>(F("BC")), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(F("D")), nullptr);
  EXPECT_NE(dynamic_cast<TMemoField*>(F("M")), nullptr);
  EXPECT_EQ(F("S")->DataSize(), 11);
  EXPECT_EQ(F("SI")->DataSize(), 2);
  EXPECT_EQ(F("B")->DataSize(), 2);
  EXPECT_EQ(F("I")->DataSize(), 4);
  EXPECT_EQ(F("L")->DataSize(), 8);
  EXPECT_EQ(F("C")->DataSize(), 8);
  EXPECT_EQ(F("BC")->DataSize(), 34);
  EXPECT_EQ(F("D")->DataSize(), 8);
  EXPECT_EQ(F("BY")->DataSize(), 4);
  EXPECT_EQ(F("BL")->DataSize(), 0);
  EXPECT_EQ(F("I")->FieldNo(), 4);
  EXPECT_EQ(F("BL")->Offset(), 0);
  EXPECT_EQ(F("M")->Offset(), 1) << "blob ordinal";
  EXPECT_EQ(dynamic_cast<TBCDField*>(F("BC"))->Precision(), 10);
  for (TField* f : ds->Fields()->List()) {
    EXPECT_TRUE(f->IsNull()) << f->FieldName();
    EXPECT_TRUE(f->AsVariant().IsNull()) << f->FieldName();
  }
}

TEST_F(FieldTest, StringSlotIsNulPaddedAndTruncates) {
  F("S")->SetAsString("abc");
  std::vector<uint8_t> s = Slot("S");
  EXPECT_EQ(std::string(s.begin(), s.begin() + 3), "abc");
  for (size_t i = 3; i < s.size(); ++i) EXPECT_EQ(s[i], 0) << i;
  F("S")->SetAsString("0123456789XYZ");
  EXPECT_EQ(F("S")->AsString(), "0123456789");
  F("S")->SetAsString("");
  EXPECT_FALSE(F("S")->IsNull()) << "empty text is a value";
  F("S")->SetAsString("Yes");
  EXPECT_TRUE(F("S")->AsBoolean());
  F("S")->SetAsString("no");
  EXPECT_FALSE(F("S")->AsBoolean());
  F("S")->SetAsString(" 42 ");
  EXPECT_EQ(F("S")->AsInteger(), 42);
  F("S")->SetAsFloat(2.5);
  EXPECT_EQ(F("S")->AsString(), "2.5");
  F("S")->SetAsString("abc");
  try {
    F("S")->AsInteger();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "All: \"abc\" is not a valid integer value");
  }
  EXPECT_THROW(F("S")->AsFloat(), EDatabaseError);
  F("S")->SetAsVariant(Variant(17));
  EXPECT_EQ(F("S")->AsVariant().AsString(), "17");
  EXPECT_EQ(F("S")->AsVariant().VarType(), varString);
}

TEST_F(FieldTest, IntegerFamilySlotsAndRanges) {
  F("SI")->SetAsInteger(-32768);
  EXPECT_EQ(SlotAs<int16_t>("SI"), -32768);
  EXPECT_THROW(F("SI")->SetAsInteger(32768), EDatabaseError);
  EXPECT_EQ(F("SI")->AsInteger(), -32768) << "a refused value leaves the old one";
  F("W")->SetAsInteger(65535);
  EXPECT_EQ(SlotAs<uint16_t>("W"), 65535);
  EXPECT_EQ(F("W")->AsVariant().AsInteger(), 65535);
  try {
    F("W")->SetAsInteger(-1);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "All: -1 is not a valid value for field 'W'. The allowed range is 0 to 65535");
  }
  F("I")->SetAsString("-123");
  EXPECT_EQ(SlotAs<int32_t>("I"), -123);
  EXPECT_EQ(F("I")->AsFloat(), -123.0);
  F("I")->SetAsFloat(2.5);
  EXPECT_EQ(F("I")->AsInteger(), 2) << "halves to even";
  EXPECT_THROW(F("I")->SetAsString("12x"), EDatabaseError);
  EXPECT_THROW(F("I")->SetAsLargeInt(int64_t{1} << 40), EDatabaseError);
  EXPECT_THROW(F("I")->SetAsFloat(1e300), EDatabaseError);
  auto* i = dynamic_cast<TIntegerField*>(F("I"));
  i->SetMinValue(1);
  i->SetMaxValue(10);
  EXPECT_THROW(i->SetAsInteger(11), EDatabaseError);
  i->SetAsInteger(10);
  F("L")->SetAsVariant(Variant(int64_t{1} << 40));
  EXPECT_EQ(SlotAs<int64_t>("L"), int64_t{1} << 40);
  EXPECT_EQ(F("L")->AsVariant().VarType(), varInt64);
  EXPECT_THROW(F("L")->AsInteger(), EDatabaseError);
  F("I")->SetAsString("");
  EXPECT_TRUE(F("I")->IsNull());
  EXPECT_EQ(F("I")->AsString(), "");
  EXPECT_EQ(F("I")->AsInteger(), 0);
}

TEST_F(FieldTest, BooleanSlotAndTexts) {
  F("B")->SetAsBoolean(true);
  EXPECT_EQ(SlotAs<int16_t>("B"), 1);
  EXPECT_EQ(F("B")->AsString(), "True");
  F("B")->SetAsString("f");
  EXPECT_FALSE(F("B")->AsBoolean());
  EXPECT_FALSE(F("B")->IsNull());
  EXPECT_EQ(F("B")->AsString(), "False");
  F("B")->SetAsVariant(Variant(true));
  EXPECT_EQ(F("B")->AsVariant().VarType(), varBoolean);
  EXPECT_THROW(F("B")->SetAsString("maybe"), EDatabaseError);
  auto* b = dynamic_cast<TBooleanField*>(F("B"));
  b->SetDisplayValues("Ja;Nein");
  b->SetAsString("nein");
  EXPECT_EQ(b->AsString(), "Nein");
  EXPECT_THROW(b->AsDateTime(), EDatabaseError) << "no date from a Boolean";
}

TEST_F(FieldTest, FloatCurrencyAndBcd) {
  F("F")->SetAsString("1.25");
  EXPECT_DOUBLE_EQ(SlotAs<double>("F"), 1.25);
  EXPECT_EQ(F("F")->AsCurrency(), Currency::FromRaw(12500));
  EXPECT_THROW(F("F")->SetAsString("1,2,3"), EDatabaseError);
  F("C")->SetAsFloat(12.34567);
  EXPECT_EQ(SlotAs<int64_t>("C"), 123457) << "the slot holds currency units";
  EXPECT_EQ(F("C")->AsString(), "12.3457");
  EXPECT_EQ(F("C")->AsVariant().VarType(), varCurrency);
  F("C")->SetAsString("922337203685477.5807");
  EXPECT_EQ(F("C")->AsCurrency(), MaxCurrency);
  // BCD: the slot is a TBcd of the field's scale; the value is currency.
  F("BC")->SetAsCurrency(Currency::FromRaw(-123456));  // -12.3456
  TBcd bcd = SlotAs<TBcd>("BC");
  EXPECT_EQ(BCDToStr(bcd), "-12.35");
  EXPECT_EQ(F("BC")->AsCurrency(), Currency::FromRaw(-123500));
  EXPECT_EQ(F("BC")->AsString(), "-12.35");
  EXPECT_EQ(BCDToStr(F("BC")->AsBCD()), "-12.35");
  F("BC")->SetAsBCD(StrToBCD("7.5"));
  EXPECT_DOUBLE_EQ(F("BC")->AsFloat(), 7.5);
  EXPECT_THROW(F("BC")->SetAsString("123456789012"), EDatabaseError) << "beyond precision 10";
  auto* bc = dynamic_cast<TBCDField*>(F("BC"));
  bc->SetMinValue(Currency::FromInt(0));
  bc->SetMaxValue(Currency::FromInt(100));
  EXPECT_THROW(bc->SetAsInteger(101), EDatabaseError);
  EXPECT_THROW(bc->SetSize(33), EDatabaseError);
}

TEST_F(FieldTest, DateAndTimeSlots) {
  TDateTime day = EncodeDate(2015, 1, 1);
  F("D")->SetAsDateTime(day + 0.75);
  EXPECT_EQ(SlotAs<int32_t>("D"), DateTimeToTimeStamp(day).Date) << "day number";
  EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), day) << "the time part is dropped";
  F("T")->SetAsDateTime(EncodeTime(13, 30, 15, 250));
  EXPECT_EQ(SlotAs<int32_t>("T"), ((13 * 60 + 30) * 60 + 15) * 1000 + 250);
  EXPECT_NEAR(F("T")->AsDateTime(), EncodeTime(13, 30, 15, 250), 1e-9);
  TDateTime when = EncodeDateTime(2020, 2, 29, 23, 59, 59, 999);
  F("DT")->SetAsVariant(Variant::FromDateTime(when));
  EXPECT_DOUBLE_EQ(SlotAs<double>("DT"), TimeStampToMSecs(DateTimeToTimeStamp(when)));
  EXPECT_NEAR(F("DT")->AsVariant().AsDateTime(), when, 1e-9);
  EXPECT_EQ(F("DT")->AsVariant().VarType(), varDate);
  F("D")->SetAsString("1/1/2015");
  EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), day);
  EXPECT_EQ(F("D")->AsString(), "1/1/2015");
  try {
    F("D")->SetAsString("31/31/2015");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "All: \"31/31/2015\" is not a valid date and time value");
  }
  EXPECT_THROW(F("D")->AsBoolean(), EDatabaseError);
}

// A date slot reads as the day number composed at midnight; day numbers
// before day 1 (no calendar date) read as 0.
TEST_F(FieldTest, DateSlotsReadAsTheirMidnight) {
  TField* d = F("D");
  for (int32_t day : {1, 2, 693593, 693594, 693595, 730486, 3652059}) {
    SCOPED_TRACE(day);
    TDateTime v = -1;
    ds->DataConvert(d, &day, &v, false);
    EXPECT_EQ(v, TimeStampToDateTime(TTimeStamp{0, day}));
    // The same sign too: 1899-12-30 is +0, not -0.
    EXPECT_EQ(std::signbit(v), std::signbit(TimeStampToDateTime(TTimeStamp{0, day})));
  }
  for (int32_t day : {0, -1, -700000}) {
    TDateTime v = -1;
    ds->DataConvert(d, &day, &v, false);
    EXPECT_EQ(v, 0.0) << day;
  }
}

TEST_F(FieldTest, BytesAndBlobs) {
  F("BY")->SetAsBytes({1, 2, 3});
  EXPECT_EQ(Slot("BY"), (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_THROW(F("BY")->SetAsBytes({1, 2, 3, 4, 5}), EDatabaseError);
  F("VB")->SetAsVariant(Variant(TBytes{9, 8}));
  EXPECT_EQ(F("VB")->AsBytes(), (TBytes{9, 8, 0, 0, 0, 0})) << "no length prefix";
  EXPECT_TRUE(F("VB")->AsVariant().IsArray());

  auto* bl = dynamic_cast<TBlobField*>(F("BL"));
  EXPECT_TRUE(bl->IsNull());
  bl->SetAsString(std::string("a\0b", 3));
  EXPECT_TRUE(bl->Modified());
  EXPECT_EQ(bl->BlobSize(), 3);
  EXPECT_EQ(bl->AsString(), std::string("a\0b", 3));
  TMemoryStream out;
  bl->SaveToStream(&out);
  EXPECT_EQ(out.Size(), 3);
  F("M")->SetAsString("memo text");
  EXPECT_EQ(F("M")->DisplayText(), "(MEMO)");
  EXPECT_EQ(F("M")->Text(), "memo text");
  F("I")->SetAsInteger(1);
  ds->Post();
  EXPECT_FALSE(bl->Modified());
  EXPECT_EQ(bl->AsString(), std::string("a\0b", 3));
  EXPECT_EQ(F("M")->AsVariant().AsString(), "memo text");
  ds->Edit();
  TMemoryStream in;
  in.WriteString("replaced");
  bl->LoadFromStream(&in);
  bl->Clear();
  EXPECT_TRUE(bl->IsNull());
  ds->Cancel();
  EXPECT_EQ(bl->AsString(), std::string("a\0b", 3)) << "cancel restores the blob";
  EXPECT_THROW(bl->SetAsString("x"), EDatabaseError) << "not editing";
}

TEST_F(FieldTest, ValidateSeesNewValueAndAssign) {
  std::string seen;
  F("S")->SetOnValidate([&](TField* f) {
    seen = f->AsString();
    if (seen == "bad") throw EDatabaseError("refused");
  });
  int changes = 0;
  F("S")->SetOnChange([&](TField*) { ++changes; });
  F("S")->SetAsString("old");
  F("S")->SetAsString("new");
  EXPECT_EQ(seen, "new");
  EXPECT_THROW(F("S")->SetAsString("bad"), EDatabaseError);
  EXPECT_EQ(F("S")->AsString(), "new") << "a refused value is not stored";
  EXPECT_EQ(changes, 2);
  F("I")->SetAsInteger(5);
  F("F")->Assign(F("I"));
  EXPECT_DOUBLE_EQ(F("F")->AsFloat(), 5.0);
  F("F")->Assign(F("L"));
  EXPECT_TRUE(F("F")->IsNull());
  F("F")->AssignValue(Variant::Unassigned());
  EXPECT_TRUE(F("F")->IsNull());
  F("F")->AssignValue(Variant(3));
  F("F")->AssignValue(Variant::Null());
  EXPECT_TRUE(F("F")->IsNull());
}

TEST_F(FieldTest, DisplayNameAndConstraints) {
  TField* f = F("S");
  EXPECT_EQ(f->DisplayName(), "S");
  f->SetDisplayLabel("Short text");
  EXPECT_EQ(f->DisplayName(), "Short text");
  EXPECT_FALSE(f->HasConstraints());
  f->SetImportedConstraint("S <> 'x'");
  EXPECT_TRUE(f->HasConstraints());
  auto* dtf = dynamic_cast<TDateTimeField*>(F("DT"));
  dtf->SetDisplayFormat("yyyy-mm-dd");
  dtf->SetAsDateTime(EncodeDate(2001, 2, 3));
  EXPECT_EQ(dtf->DisplayText(), "2001-02-03");
}

}  // namespace
}  // namespace dac::testing
