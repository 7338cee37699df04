#include <unistd.h>

#include <fstream>
#include <iterator>

#include "engine_fixture.h"

using namespace enginetest;

class DatabaseTest : public EngineTest {};

TEST_F(DatabaseTest, HostMustBeThisComputer) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  std::string upper = host;
  for (char& ch : upper) ch = static_cast<char>(toupper(ch));
  uint32_t d = 0;
  EXPECT_EQ(RareOpenDatabase(S, (upper + "\t" + dbDir).c_str(), &d, 0, "", ""), 0);
  EXPECT_EQ(RareOpenDatabase(S, ("localhost\t" + dbDir).c_str(), &d, 0, "", ""), 0);
  EXPECT_EQ(RareOpenDatabase(S, ("faraway-server\t" + dbDir).c_str(), &d, 0, "", ""), DRM_ERR_NO_SUCH_DATABASE);
  EXPECT_EQ(d, 0u);
  std::string why = ExtErr(DRM_ERR_NO_SUCH_DATABASE);
  EXPECT_NE(why.find("faraway-server"), std::string::npos);
  EXPECT_EQ(why.find("No such database"), std::string::npos);
  EXPECT_EQ(ExtErr(-1), "");  // only the last failure's own status has a text
}

TEST_F(DatabaseTest, WindowsLocationsMapThroughTheDriveMap) {
  std::filesystem::create_directories(root + "/data/drives/S/orvane/data/sqltable");
  uint32_t d = 0;
  ASSERT_EQ(RareOpenDatabase(S, "\tS:\\ORVANE\\DATA\\SQLTABLE", &d, 0, "", ""), 0);
  EXPECT_TRUE(std::filesystem::exists(root + "/data/drives/S/orvane/data/sqltable/engine.rdb"));
  setenv("DAC_ENGINE_DRIVE_Q", dbDir.c_str(), 1);
  CreateTable("Here", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t q = 0, t = 0;
  ASSERT_EQ(RareOpenDatabase(S, "\tq:\\", &q, 0, "", ""), 0);
  EXPECT_EQ(RareOpenTable(S, q, "Here", 0, 0, &t), 0);
  unsetenv("DAC_ENGINE_DRIVE_Q");
  EXPECT_EQ(RareOpenDatabase(S, "\tS:\\NOT\\THERE", &d, 0, "", ""), DRM_ERR_INVALID_PATH);
  EXPECT_NE(ExtErr(DRM_ERR_INVALID_PATH).find("NOT"), std::string::npos);
  EXPECT_EQ(RareOpenDatabase(S, "\tnamed_but_unknown", &d, 0, "", ""), DRM_ERR_NO_SUCH_DATABASE);
}

TEST_F(DatabaseTest, ForeignFilesAreNotDatabases) {
  std::string dir = root + "/junk";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/engine.rdb") << "this is a text file, long enough to be no database header at all......."
                                        "................................................................";
  uint32_t d = 0;
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &d, 0, "", ""), DRM_ERR_NOT_DB_FILE);
  EXPECT_NE(ExtErr(DRM_ERR_NOT_DB_FILE).find("engine.rdb"), std::string::npos);
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dir + "/engine.rdb").c_str(), &d, 0, "", ""), DRM_ERR_NOT_DB_FILE);
}

TEST_F(DatabaseTest, ExclusiveOpensShutOthersOut) {
  std::string dir = root + "/ex";
  std::filesystem::create_directories(dir);
  uint32_t d1 = 0, d2 = 0, s2 = 0;
  ASSERT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &d1, DRM_DBOPEN_EXCLUSIVE, "", ""), 0);
  ASSERT_EQ(RareBeginSession(&s2, "", "", ""), 0);
  EXPECT_EQ(RareOpenDatabase(s2, ("\t" + dir).c_str(), &d2, 0, "", ""), DRM_ERR_DATABASE_LOCKED);
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &d2, 0, "", ""), DRM_ERR_DATABASE_LOCKED);
  ASSERT_EQ(RareCloseDatabase(S, d1), 0);
  ASSERT_EQ(RareOpenDatabase(s2, ("\t" + dir).c_str(), &d2, 0, "", ""), 0);
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &d1, DRM_DBOPEN_EXCLUSIVE | DRM_DBOPEN_OEM, "", ""), DRM_ERR_DATABASE_LOCKED);
  EXPECT_EQ(RareCloseDatabase(S, d2), DRM_ERR_INVALID_DATABASE);  // belongs to the other session
  RareEndSession(s2);
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &d1, 1, "", ""), DRM_ERR_INVALID_PARAMETER);
}

TEST_F(DatabaseTest, SecuredDatabasesCheckAccounts) {
  uint16_t secured = 9;
  ASSERT_EQ(RareIsDatabaseSecured(D, &secured), 0);
  EXPECT_EQ(secured, 0);
  ASSERT_EQ(DrmEngineSetUser(S, D, "ann", "pw"), 0);
  uint32_t d = 0;
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dbDir).c_str(), &d, 0, "", ""), DRM_ERR_USER_NAME_MISSING);
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dbDir).c_str(), &d, 0, "bob", "pw"), DRM_ERR_INVALID_ACCOUNT);
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dbDir).c_str(), &d, 0, "ann", "nope"), DRM_ERR_INVALID_PASSWORD);
  ASSERT_EQ(RareOpenDatabase(S, ("\t" + dbDir).c_str(), &d, 0, "ann___admin", "pw___secret"), 0);
  ASSERT_EQ(RareIsDatabaseSecured(d, &secured), 0);
  EXPECT_EQ(secured, 1);
  EXPECT_EQ(RareIsDatabaseSecured(4242, &secured), DRM_ERR_INVALID_DATABASE);
}

TEST_F(DatabaseTest, NamedDatabasesLiveInTheSharedRegistry) {
  uint8_t flags[10] = {0, 1, 0};
  std::string path = dbDir;
  ASSERT_EQ(SQLAddDatabaseName2("Sales", flags, static_cast<uint16_t>(path.size() + 1), path.c_str(), 1, "", 0, "", ""), 0);
  EXPECT_EQ(SQLAddDatabaseName2("SALES", flags, static_cast<uint16_t>(path.size() + 1), path.c_str(), 1, "", 0, "", ""), 2303);
  EXPECT_EQ(SQLAddDatabaseName2("Bad", flags, 8, "/nowhere", 1, "", 0, "", ""), 2305);
  uint8_t got[10] = {};
  char dict[513], data[513];
  uint16_t dictSize = 513, dataSize = 513;
  ASSERT_EQ(SQLGetDatabaseInfo2("sales", got, &dictSize, dict, &dataSize, data, "", ""), 0);
  EXPECT_EQ(std::string(dict), path);
  EXPECT_EQ(std::string(data), path);  // the data path defaults to the dictionary path
  EXPECT_EQ(got[1], 1);
  dictSize = 3;
  EXPECT_EQ(SQLGetDatabaseInfo2("sales", got, &dictSize, dict, &dataSize, data, "", ""), 2302);

  uint32_t d = 0, t = 0;
  CreateTable("Orders", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  ASSERT_EQ(RareOpenDatabase(S, "\tSales", &d, 0, "", ""), 0);
  EXPECT_EQ(RareOpenTable(S, d, "Orders", 0, 0, &t), 0);

  // Create dictionary makes the folder.
  uint8_t create[10] = {0, 1, 1};
  std::string fresh = root + "/fresh/dict";
  ASSERT_EQ(SQLModifyDatabaseInfo2("Sales", "Sales", static_cast<uint16_t>(fresh.size() + 1), fresh.c_str(), 1, "", create, "", ""), 0);
  EXPECT_TRUE(std::filesystem::is_directory(fresh));
  EXPECT_EQ(SQLModifyDatabaseInfo2("Other", "Other", 2, "/", 1, "", flags, "", ""), 2301);
  ASSERT_EQ(SQLAddDatabaseName2("Ar", flags, static_cast<uint16_t>(path.size() + 1), path.c_str(), 1, "", 0, "", ""), 0);
  char names[64];
  uint32_t need = 0;
  EXPECT_EQ(RareListDatabaseNames(names, 4, &need), DRM_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(need, 10u);
  ASSERT_EQ(RareListDatabaseNames(names, sizeof names, &need), 0);
  EXPECT_EQ(std::string(names, need), std::string("Sales\0Ar\0\0", 10));
  ASSERT_EQ(SQLDropDatabaseName2("SALES", 0, "", ""), 0);
  EXPECT_EQ(SQLDropDatabaseName2("Sales", 0, "", ""), 2301);
  EXPECT_NE(ExtErr(2301, 0xFFFFFFFFu).find("Sales"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dbDir + "/engine.rdb"));  // dropping keeps the files
}

// A registry line that cannot be read (here: flags that are not hex) makes
// its own name unusable with a status and a text; the other names keep
// working, and rewriting the registry keeps the line for its owner to fix.
TEST_F(DatabaseTest, AMalformedRegistryLineFailsOnlyItsOwnName) {
  std::filesystem::create_directories(root + "/config");
  {
    std::ofstream reg(root + "/config/dbnames");
    reg << "# named databases\n"
        << "Broken\tzz010000000000000000\t" << dbDir << '\t' << dbDir << '\n'
        << "Good\t00010000000000000000\t" << dbDir << '\t' << dbDir << '\n';
  }
  uint32_t d = 0;
  int32_t st = 0;
  EXPECT_NO_THROW(st = RareOpenDatabase(S, "\tBroken", &d, 0, "", ""));
  EXPECT_EQ(st, DRM_ERR_NO_SUCH_DATABASE);
  EXPECT_EQ(d, 0u);
  std::string why = ExtErr(DRM_ERR_NO_SUCH_DATABASE);
  EXPECT_NE(why.find("'Broken'"), std::string::npos) << why;
  EXPECT_NE(why.find("zz01"), std::string::npos) << why;

  EXPECT_NO_THROW(st = RareOpenDatabase(S, "\tGood", &d, 0, "", ""));
  EXPECT_EQ(st, 0) << ExtErr(st);
  EXPECT_NE(d, 0u);

  uint8_t got[10] = {};
  char dict[513], data[513];
  uint16_t dictSize = 513, dataSize = 513;
  EXPECT_NO_THROW(st = SQLGetDatabaseInfo2("broken", got, &dictSize, dict, &dataSize, data, "", ""));
  EXPECT_EQ(st, DRM_DBN_GENERAL);
  EXPECT_NE(ExtErr(DRM_DBN_GENERAL, 0xFFFFFFFFu).find("Broken"), std::string::npos);
  EXPECT_NO_THROW(st = SQLGetDatabaseInfo2("good", got, &dictSize, dict, &dataSize, data, "", ""));
  EXPECT_EQ(st, 0);
  EXPECT_EQ(got[1], 1);

  char names[64];
  uint32_t need = 0;
  EXPECT_NO_THROW(st = RareListDatabaseNames(names, sizeof names, &need));
  EXPECT_EQ(st, 0);
  EXPECT_EQ(std::string(names, need), std::string("Broken\0Good\0\0", 13));

  // Adding a name rewrites the file; the unreadable line stays as it was.
  uint8_t flags[10] = {};
  EXPECT_NO_THROW(st = SQLAddDatabaseName2("More", flags, static_cast<uint16_t>(dbDir.size() + 1), dbDir.c_str(), 1, "", 0, "", ""));
  EXPECT_EQ(st, 0);
  std::ifstream in(root + "/config/dbnames");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Broken\tzz010000000000000000\t"), std::string::npos) << text;

  // Modifying the entry replaces it with a readable one.
  EXPECT_NO_THROW(st = SQLModifyDatabaseInfo2("Broken", "Broken", static_cast<uint16_t>(dbDir.size() + 1), dbDir.c_str(), 1, "", flags, "", ""));
  EXPECT_EQ(st, 0) << ExtErr(st, 0xFFFFFFFFu);
  EXPECT_NO_THROW(st = RareOpenDatabase(S, "\tBroken", &d, 0, "", ""));
  EXPECT_EQ(st, 0) << ExtErr(st);
}

TEST_F(DatabaseTest, EndingASessionClosesEverythingItOwns) {
  CreateTable("T", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t t = Open("T");
  uint32_t info[8] = {32};
  ASSERT_EQ(RareGetDatabaseTableInfo(S, D, info, 32), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "p"), 0);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, 1, 5), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  ASSERT_EQ(RareEndSession(S), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_FIRST), DRM_ERR_INVALID_SESSION);
  EXPECT_EQ(RareGetRecordCount(t, nullptr), DRM_ERR_INVALID_TABLE);
  uint32_t s2 = 0, d2 = 0;
  ASSERT_EQ(RareBeginSession(&s2, "", "", ""), 0);
  EXPECT_NE(s2, S);  // handles are not reused
  ASSERT_EQ(RareOpenDatabase(s2, dbDir.c_str(), &d2, 0, "", ""), 0);
  uint32_t t2 = Open("T", 0, s2, d2);
  uint32_t n = 9;
  ASSERT_EQ(RareGetRecordCount(t2, &n), 0);
  EXPECT_EQ(n, 0u);  // the open transaction was rolled back
  S = s2;
}

TEST_F(DatabaseTest, DirectRecordManagerCalls) {
  auto ids = CreateTable("T", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                               {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 4}});
  uint32_t t = Open("T");
  ASSERT_EQ(CreateIndex(t, "ByA", {"+A"}), 0);
  for (int v : {3, 1, 2}) ASSERT_EQ(InsertIntText(t, ids[0], v, ids[1], "ab"), 0);
  char data[64];
  uint16_t len = sizeof data;
  ASSERT_EQ(RareRmCall(t, DRM_RM_FIRST, data, &len, nullptr, 0, 0), 0);
  ASSERT_EQ(len, 1 + 4 + 1 + 5);
  int32_t a;
  std::memcpy(&a, data + 1, 4);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(std::string(data + 6), "ab");
  int32_t key = 2;
  len = sizeof data;
  ASSERT_EQ(RareRmCall(t, DRM_RM_GET_EQUAL, data, &len, &key, 4, 0), 0);
  std::memcpy(&a, data + 1, 4);
  EXPECT_EQ(a, 2);
  len = sizeof data;
  ASSERT_EQ(RareRmCall(t, DRM_RM_RECORD_COUNT, data, &len, nullptr, 0, 0), 0);
  std::memcpy(&a, data, 4);
  EXPECT_EQ(a, 3);
  len = 3;
  EXPECT_EQ(RareRmCall(t, DRM_RM_FIRST, data, &len, nullptr, 0, 0), DRM_ERR_BUFFER_TOO_SMALL);
  len = sizeof data;
  EXPECT_EQ(RareRmCall(t, 77, data, &len, nullptr, 0, 0), DRM_ERR_NOT_SUPPORTED);
  EXPECT_EQ(len, 0);
  ASSERT_EQ(RareSetTableIndex(S, t, "ByA"), 0);
  TRmInfo info{};
  ASSERT_EQ(RareGetRmInfo(t, &info), 0);
  EXPECT_EQ(info.KeyNum, 0);
  ASSERT_EQ(info.KeyLen, 4);
  std::memcpy(&a, info.pKeyBuf, 4);
  EXPECT_EQ(a, 3);  // the record the last call stood on
}
