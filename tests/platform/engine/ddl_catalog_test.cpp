#include "engine_fixture.h"

using namespace enginetest;

namespace {

struct Row {
  std::vector<std::string> text;
  std::vector<uint32_t> num;
};

// Walks a result cursor: text columns at the given ids, numbers of `width`.
std::vector<Row> Walk(uint32_t S, uint32_t cursor, const std::vector<uint32_t>& textCols,
                      const std::vector<std::pair<uint32_t, uint32_t>>& numCols) {
  std::vector<Row> rows;
  int32_t st = RareMove(S, cursor, DRM_MOVE_FIRST);
  while (st == 0) {
    Row r;
    for (uint32_t c : textCols) {
      char buf[1024];
      uint32_t len = 0;
      EXPECT_EQ(RareRetrieveColumn(S, cursor, c, buf, sizeof buf, &len, nullptr), 0);
      r.text.push_back(buf);
    }
    for (auto [c, w] : numCols) {
      uint32_t v = 0, len = 0;
      EXPECT_EQ(RareRetrieveColumn(S, cursor, c, &v, w, &len, nullptr), 0);
      EXPECT_EQ(len, w);
      r.num.push_back(v);
    }
    rows.push_back(r);
    st = RareMove(S, cursor, DRM_MOVE_NEXT);
  }
  EXPECT_EQ(st, DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(RareCloseTable(S, cursor), 0);
  return rows;
}

}  // namespace

class DdlTest : public EngineTest {};

TEST_F(DdlTest, CatalogWalksDescribeColumnsAndIndexes) {
  auto ids = CreateTable("Company", {{"Number", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 10, DRM_COLFLAG_REQUIRED},
                                     {"Stamp", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8},
                                     {"Amount", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 8, 0, nullptr, nullptr, 12, 2},
                                     {"Seq", DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT16), 2}});
  uint32_t t = Open("company");  // names are found without regard to case
  ASSERT_EQ(CreateIndex(t, "ByNumber", {"-Number", "+Seq"}, DRM_IDXFLAG_UNIQUE), 0);

  uint32_t info[13] = {52};
  ASSERT_EQ(RareGetTableColumnInfo(S, t, info, 52), 0);
  auto cols = Walk(S, info[1], {info[3]}, {{info[4], 4}, {info[5], 4}, {info[6], 4}, {info[7], 4}, {info[8], 2}, {info[9], 2}, {info[12], 4}});
  ASSERT_EQ(cols.size(), 4u);
  EXPECT_EQ(cols[0].text[0], "Number");
  EXPECT_EQ(cols[0].num[0], ids[0]);
  EXPECT_EQ(cols[0].num[1], 0x0B68u);
  EXPECT_EQ(cols[0].num[2], 10u);
  EXPECT_EQ(cols[0].num[3], DRM_COLFLAG_REQUIRED | DRM_COLFLAG_UPDATABLE);
  EXPECT_EQ(cols[1].num[2], 16u);  // timestamps report their full size
  EXPECT_EQ(cols[2].num[2], 38u);
  EXPECT_EQ(cols[2].num[4], 2u);   // scale
  EXPECT_EQ(cols[2].num[5], 12u);  // precision
  EXPECT_EQ(cols[3].num[2], 4u);   // auto-increment words take 4 bytes
  EXPECT_EQ(cols[3].num[6], 4u);   // sequence id

  uint32_t ix[9] = {36};
  ASSERT_EQ(RareGetTableIndexInfo(S, t, nullptr, ix, 36), 0);
  auto segs = Walk(S, ix[1], {ix[3], ix[8]}, {{ix[4], 4}, {ix[5], 4}, {ix[6], 4}, {ix[7], 4}});
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[0].text[0], "ByNumber");
  EXPECT_EQ(segs[0].text[1], "Number");
  EXPECT_EQ(segs[0].num[0], DRM_IDXFLAG_UNIQUE);
  EXPECT_EQ(segs[0].num[1], 0u);
  EXPECT_EQ(segs[1].num[1], 1u);
  EXPECT_EQ(segs[0].num[3], DRM_SEGFLAG_DESCENDING);  // case-insensitive: no 0x10000
  EXPECT_EQ(segs[1].num[2], ids[3]);

  // A read-only handle reports no column as updatable.
  uint32_t ro = Open("Company", DRM_TBLOPEN_READONLY);
  uint32_t info2[13] = {52};
  ASSERT_EQ(RareGetTableColumnInfo(S, ro, info2, 52), 0);
  auto rocols = Walk(S, info2[1], {}, {{info2[7], 4}});
  EXPECT_EQ(rocols[0].num[0], DRM_COLFLAG_REQUIRED);
  EXPECT_EQ(RareInitUpdate(S, ro, DRM_INITUPD_NEW), DRM_ERR_PERMISSION_DENIED);

  uint32_t small[13] = {40};
  EXPECT_EQ(RareGetTableColumnInfo(S, t, small, 40), DRM_ERR_BUFFER_TOO_SMALL);
}

TEST_F(DdlTest, TableListAndDefinitionFaults) {
  CreateTable("Beta", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  CreateTable("alpha", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}, {"Memo", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT)}});
  uint32_t info[8] = {32};
  ASSERT_EQ(RareGetDatabaseTableInfo(S, D, info, 32), 0);
  auto tables = Walk(S, info[1], {info[2]}, {{info[3], 4}, {info[6], 4}});
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].text[0], "alpha");
  EXPECT_EQ(tables[1].text[0], "Beta");
  EXPECT_EQ(tables[1].num[1], 0u);
  uint32_t pinfo[8] = {32};
  ASSERT_EQ(RareGetDatabaseProcedureInfo(S, D, pinfo, 32), 0);
  EXPECT_EQ(RareMove(S, pinfo[1], DRM_MOVE_FIRST), DRM_ERR_NO_CURRENT_RECORD);

  uint32_t t = 0;
  EXPECT_EQ(RareCreateTable(S, D, "BETA", &t), DRM_ERR_TABLE_EXISTS);
  EXPECT_NE(ExtErr(DRM_ERR_TABLE_EXISTS).find("BETA"), std::string::npos);
  EXPECT_EQ(RareCreateTable(S, D, "", &t), DRM_ERR_INVALID_NAME);

  t = Open("alpha");
  DRM_ColumnStruct cs{};
  cs.StructSize = sizeof cs;
  cs.ColTyp = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32);
  uint32_t id;
  EXPECT_EQ(RareCreateColumn(S, t, "A", &cs, &id), DRM_ERR_COLUMN_EXISTS);
  EXPECT_EQ(RareCreateColumn(S, t, "a", &cs, &id), 0);  // names differing in case are distinct
  cs.ColTyp = 0x0063;
  EXPECT_EQ(RareCreateColumn(S, t, "X", &cs, &id), DRM_ERR_INVALID_COLUMN_TYPE);
  cs.ColTyp = DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING);
  cs.cbMax = 0;
  EXPECT_EQ(RareCreateColumn(S, t, "Y", &cs, &id), DRM_ERR_FIELD_LENGTH);
  cs.StructSize = 28;
  EXPECT_EQ(RareCreateColumn(S, t, "Z", &cs, &id), DRM_ERR_INVALID_PARAMETER);
  uint32_t other = Open("alpha");
  cs.StructSize = sizeof cs;
  cs.cbMax = 5;
  EXPECT_EQ(RareCreateColumn(S, t, "Late", &cs, &id), DRM_ERR_DDL_NEEDS_EXCLUSIVE);

  EXPECT_EQ(CreateIndex(t, "ByMemo", {"+Memo"}), DRM_ERR_CANNOT_INDEX_LONG);
  EXPECT_EQ(CreateIndex(t, "ByNothing", {"+Nope"}), DRM_ERR_NO_SUCH_COLUMN);
  EXPECT_EQ(CreateIndex(t, "P", {"+A"}, DRM_IDXFLAG_PRIMARY), 0);
  EXPECT_EQ(CreateIndex(t, "p", {"+a"}), DRM_ERR_INDEX_EXISTS);
  EXPECT_EQ(CreateIndex(t, "P2", {"+a"}, DRM_IDXFLAG_PRIMARY), DRM_ERR_PRIMARY_EXISTS);
  EXPECT_EQ(RareSetTableIndex(S, other, "P"), 0);
  EXPECT_EQ(RareDeleteIndex(S, t, "P"), DRM_ERR_INDEX_IN_USE);
  EXPECT_EQ(RareDeleteIndex(S, t, "nope"), DRM_ERR_NO_SUCH_INDEX);

  EXPECT_EQ(RareDeleteTable(S, D, "alpha"), DRM_ERR_TABLE_HAS_HANDLES);
  EXPECT_EQ(RareRenameTable(t, "gamma"), DRM_ERR_TABLE_IN_USE);
  RareCloseTable(S, other);
  EXPECT_EQ(RareRenameTable(t, "beta"), DRM_ERR_TABLE_EXISTS);
  EXPECT_EQ(RareRenameTable(t, "gamma"), 0);
  RareCloseTable(S, t);
  EXPECT_EQ(RareOpenTable(S, D, "alpha", 0, 0, &t), DRM_ERR_NO_SUCH_TABLE);
  EXPECT_EQ(RareDeleteTable(S, D, "Gamma"), 0);
  EXPECT_EQ(RareDeleteTable(S, D, "Gamma"), DRM_ERR_NO_SUCH_TABLE);
}

TEST_F(DdlTest, OddNamesNeverReachSqlUnquoted) {
  const std::string odd = "x\"; DROP TABLE Company; --'";
  CreateTable("Company", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  auto ids = CreateTable(odd, {{odd, DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t t = Open(odd);
  EXPECT_EQ(CreateIndex(t, odd, {"+" + odd}), 0);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, ids[0], 7), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  EXPECT_EQ(RareSetTableIndex(S, t, odd.c_str()), 0);
  EXPECT_EQ(Scan(t, ids[0]), std::vector<int32_t>{7});
  uint32_t c = Open("Company");
  EXPECT_NE(c, 0u);
}

TEST_F(DdlTest, DefinitionWorksWhileOtherCursorsRead) {
  auto ids = CreateTable("Reading", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  CreateTable("Doomed", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t r = Open("Reading");
  for (int v : {1, 2, 2}) {
    ASSERT_EQ(RareInitUpdate(S, r, DRM_INITUPD_NEW), 0);
    ASSERT_EQ(SetInt32(r, ids[0], v), 0);
    ASSERT_EQ(RareUpdateRecord(S, r), 0);
  }
  ASSERT_EQ(RareMove(S, r, DRM_MOVE_FIRST), 0);  // a scan stands open
  EXPECT_EQ(RareDeleteTable(S, D, "Doomed"), 0) << ExtErr(-1);
  EXPECT_EQ(CreateIndex(r, "UA", {"+A"}, DRM_IDXFLAG_UNIQUE), DRM_ERR_DUPLICATE_KEY);
  ASSERT_EQ(CreateIndex(r, "A", {"+A"}), 0);
  ASSERT_EQ(RareSetTableIndex(S, r, "A"), 0);
  ASSERT_EQ(RareDeleteIndex(S, r, "A"), 0);  // the handle falls back to physical order
  EXPECT_EQ(Scan(r, ids[0]), (std::vector<int32_t>{1, 2, 2}));
}

TEST_F(DdlTest, ExclusiveTableOpens) {
  CreateTable("T", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t a = Open("T"), b = 0;
  EXPECT_EQ(RareOpenTable(S, D, "T", 0, DRM_TBLOPEN_EXCLUSIVE, &b), DRM_ERR_TABLE_IN_USE);
  RareCloseTable(S, a);
  uint32_t x = Open("T", DRM_TBLOPEN_EXCLUSIVE);
  EXPECT_EQ(RareOpenTable(S, D, "T", 0, 0, &b), DRM_ERR_TABLE_LOCKED);
  EXPECT_EQ(b, 0u);
  RareCloseTable(S, x);
  EXPECT_EQ(RareOpenTable(S, D, "T", 0, 99, &b), DRM_ERR_INVALID_PARAMETER);
}

TEST_F(DdlTest, OwnerNamesProtectTables) {
  CreateTable("T", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t t = Open("T");
  EXPECT_EQ(RareSetOwnerOnTable(t, "toolongname", 0), DRM_ERR_INVALID_NAME);
  ASSERT_EQ(RareSetOwnerOnTable(t, "boss", 1), 0);
  RareCloseTable(S, t);
  t = Open("T");
  EXPECT_EQ(RareSetTableOption(t, DRM_TBLOPT_OWNER, "boss"), 0);
  EXPECT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  RareCancelUpdate(S, t);
  uint32_t r = Open("T");
  EXPECT_EQ(RareSetTableOption(r, DRM_TBLOPT_OWNER, ""), 0);  // mode 1 lets readers in
  EXPECT_EQ(RareInitUpdate(S, r, DRM_INITUPD_NEW), DRM_ERR_PERMISSION_DENIED);
  ASSERT_EQ(RareSetOwnerOnTable(t, "boss", 0), 0);
  uint32_t n = Open("T");
  EXPECT_EQ(RareSetTableOption(n, DRM_TBLOPT_OWNER, "guess"), DRM_ERR_ACCESS_DENIED);
  uint8_t one = 1;
  EXPECT_EQ(RareSetTableOption(n, DRM_TBLOPT_SECURED, &one), 0);
  EXPECT_EQ(RareSetTableOption(n, 5, &one), DRM_ERR_INVALID_PARAMETER);
}
