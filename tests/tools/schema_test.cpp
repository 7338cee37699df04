#include <gtest/gtest.h>

#include "tools/drmcli/schema.h"

using namespace drmcli;

namespace {

// The message of the SchemaError a schema raises, or "" when it parses.
std::string ErrorOf(const std::string& json) {
  try {
    ParseSchema(json);
  } catch (const SchemaError& e) {
    return e.what();
  }
  return "";
}

bool Mentions(const std::string& message, const std::string& part) {
  return message.find(part) != std::string::npos;
}

}  // namespace

TEST(Schema, ParsesColumnsIndexesAndTheirEngineForms) {
  TableSchema s = ParseSchema(R"({
    "table": "Parts",
    "columns": [
      {"name": "Id", "type": "autoinc"},
      {"name": "Code", "type": "string", "size": 8, "required": true},
      {"name": "Title", "type": "zstring", "size": 40, "case-insensitive": true, "default": "untitled"},
      {"name": "Price", "type": "decimal", "precision": 9, "scale": 2, "default": 0},
      {"name": "Active", "type": "boolean", "default": true},
      {"name": "Notes", "type": "memo"}
    ],
    "indexes": [
      {"name": "byCode", "fields": ["Code"], "unique": true, "primary": true},
      {"name": "byTitle", "fields": ["Title", "-Price"], "case-insensitive": true}
    ]})");
  EXPECT_EQ(s.Table, "Parts");
  ASSERT_EQ(s.Columns.size(), 6u);
  EXPECT_EQ(s.Columns[0].ColTyp, 0x0F04u);
  EXPECT_EQ(s.Columns[0].Default, "0");  // auto-increment starts at 0
  EXPECT_EQ(s.Columns[1].ColTyp, 0x000Au);
  EXPECT_EQ(s.Columns[1].CbMax, 8u);
  EXPECT_TRUE(s.Columns[1].Required);
  EXPECT_EQ(s.Columns[2].ColTyp, 0x0B68u);
  EXPECT_EQ(s.Columns[3].ColTyp, 0x0867u);
  EXPECT_EQ(s.Columns[3].Precision, 9);
  EXPECT_EQ(s.Columns[3].Scale, 2);
  EXPECT_EQ(s.Columns[3].Default, "0");
  EXPECT_EQ(s.Columns[4].Default, "1");
  EXPECT_EQ(s.Columns[5].ColTyp, 0x150Cu);

  // Fields of the packed descriptor are copied out before comparing: gtest
  // binds its arguments to references, which packed fields cannot back.
  DRM_ColumnStruct title = ColumnStruct(s.Columns[2]);
  uint32_t size = title.StructSize;
  const char* collation = title.pCollation;
  const char* def = title.pDefault;
  EXPECT_EQ(size, 36u);
  EXPECT_STREQ(collation, "_CASE");
  EXPECT_STREQ(def, "untitled");
  uint32_t grBit = ColumnStruct(s.Columns[1]).grBit;
  EXPECT_EQ(grBit, DRM_COLFLAG_REQUIRED);
  const char* noDefault = ColumnStruct(s.Columns[5]).pDefault;
  EXPECT_EQ(noDefault, nullptr);

  ASSERT_EQ(s.Indexes.size(), 2u);
  EXPECT_EQ(s.Indexes[0].Flags(), DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_PRIMARY | DRM_IDXFLAG_CASE_SENSITIVE);
  EXPECT_EQ(s.Indexes[1].Flags(), 0u);
  EXPECT_EQ(s.Indexes[1].KeySpec(), std::string("+Title\0-Price\0\0", 15));
}

TEST(Schema, TypeNamesAndAliases) {
  ASSERT_NE(FindType("INTEGER"), nullptr);
  EXPECT_EQ(FindType("integer")->ColTyp, 0x0104u);
  EXPECT_EQ(FindType("datetime")->ColTyp, 0x1408u);
  EXPECT_EQ(FindType("currency")->ColTyp, 0x1367u);
  EXPECT_EQ(FindType("varbytes")->ColTyp, 0x0A6Au);
  EXPECT_EQ(FindType("nonsense"), nullptr);
  EXPECT_EQ(TypeName(0x0104), "int32");
  EXPECT_EQ(TypeName(0x0F04), "autoinc");
  EXPECT_EQ(TypeName(0x0E03), "uint16");
  for (const std::string& n : TypeNames()) EXPECT_EQ(TypeName(FindType(n)->ColTyp), n);
}

TEST(Schema, RejectsMalformedDocuments) {
  EXPECT_TRUE(Mentions(ErrorOf("{ not json"), "not valid JSON"));
  EXPECT_TRUE(Mentions(ErrorOf("[]"), "JSON object"));
  EXPECT_TRUE(Mentions(ErrorOf(R"({"columns": [{"name": "A", "type": "int32"}]})"), "\"table\" is missing"));
  EXPECT_TRUE(Mentions(ErrorOf(R"({"table": "T", "columns": []})"), "non-empty"));
  EXPECT_TRUE(Mentions(ErrorOf(R"({"table": "T", "colums": []})"), "unknown key \"colums\""));
}

TEST(Schema, RejectsBadColumns) {
  auto one = [](const std::string& column) {
    return ErrorOf(R"({"table": "T", "columns": [)" + column + "]}");
  };
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "varchar2"})"), "unknown type \"varchar2\""));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "string"})"), "needs a \"size\""));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "string", "size": 0})"), "positive"));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "string", "size": "10"})"), "whole number"));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "int32", "size": 8})"), "fixed size"));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "decimal"})"), "needs a \"precision\""));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "decimal", "precision": 4, "scale": 6})"), "must not exceed"));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "decimal", "precision": 30})"), "at most 18"));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "int32", "requried": true})"), "unknown key \"requried\""));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "int32", "required": "yes"})"), "true or false"));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "int32", "case-insensitive": true})"), "text columns only"));
  EXPECT_TRUE(Mentions(one(R"({"type": "int32"})"), "\"name\" is missing"));
  EXPECT_TRUE(Mentions(one(R"({"name": "A", "type": "int32"}, {"name": "A", "type": "int16"})"), "defined twice"));
  // Names differing only in case are different columns.
  EXPECT_EQ(one(R"({"name": "A", "type": "int32"}, {"name": "a", "type": "int16"})"), "");
  // The failing column is named.
  EXPECT_TRUE(Mentions(one(R"({"name": "Good", "type": "int32"}, {"name": "Bad", "type": "x"})"), "column 2 (Bad)"));
}

TEST(Schema, RejectsBadIndexes) {
  auto with = [](const std::string& indexes) {
    return ErrorOf(R"({"table": "T", "columns": [{"name": "A", "type": "int32"},
                   {"name": "M", "type": "memo"}], "indexes": [)" + indexes + "]}");
  };
  EXPECT_TRUE(Mentions(with(R"({"name": "i", "fields": ["B"]})"), "no column named B"));
  EXPECT_TRUE(Mentions(with(R"({"name": "i", "fields": []})"), "non-empty list"));
  EXPECT_TRUE(Mentions(with(R"({"name": "i", "fields": ["-"]})"), "empty field name"));
  EXPECT_TRUE(Mentions(with(R"({"fields": ["A"]})"), "\"name\" is missing"));
  EXPECT_TRUE(Mentions(with(R"({"name": "i", "fields": ["M"]})"), "cannot be indexed"));
  EXPECT_TRUE(Mentions(with(R"({"name": "i", "fields": ["A"]}, {"name": "I", "fields": ["-A"]})"), "defined twice"));
  EXPECT_TRUE(Mentions(with(R"({"name": "i", "fields": ["A"], "primary": true},
                               {"name": "j", "fields": ["-A"], "primary": true})"), "only one index may be primary"));
  EXPECT_EQ(with(R"({"name": "i", "fields": ["+A"]})"), "");
}
