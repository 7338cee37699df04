#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "catalog/table_collection.h"
#include "errors/pv_errors.h"
#include "errors/trace.h"
#include "platform/rtl/strings.h"
#include "sessions/match_pattern.h"
#include "support/message_of.h"
#include "support/session_fixture.h"

using namespace dac;
using ::testing::HasSubstr;
using testsupport::MessageOf;

namespace {
class TPvDatabaseTest : public sessiontest::SessionTest {};

// Rows of a table as the engine sees them through another session.
int CountRows(const std::string& dir, const std::string& table) {
  uint32_t S = 0, D = 0, T = 0;
  EXPECT_EQ(RareBeginSession(&S, "", "", ""), 0);
  EXPECT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &D, 0, "", ""), 0);
  EXPECT_EQ(RareOpenTable(S, D, table.c_str(), 0, 0, &T), 0);
  int n = 0;
  for (int32_t st = RareMove(S, T, DRM_MOVE_FIRST); st == 0; st = RareMove(S, T, DRM_MOVE_NEXT)) ++n;
  RareEndSession(S);
  return n;
}

void InsertRow(uint32_t S, uint32_t T, uint32_t idCol, int32_t id) {
  ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(RareSetColumn(S, T, idCol, &id, 4, 0, 0, 0), 0);
  ASSERT_EQ(RareUpdateRecord(S, T), 0);
}
}  // namespace

TEST_F(TPvDatabaseTest, OpenDatabaseByNameMakesCountedTemporaryDatabase) {
  const std::string dir = DbDir("data1");
  TPvSession* s = DefaultPvSession();
  std::vector<TDatabaseEvent> events;
  s->OnDBNotify = [&](TDatabaseEvent e, const void*) { events.push_back(e); };

  TPvAbsDatabase* db = s->OpenDatabase(dir);
  ASSERT_NE(db, nullptr);
  EXPECT_TRUE(db->Temporary());
  EXPECT_TRUE(db->Connected());
  EXPECT_TRUE(s->Active());  // the connect began the engine session
  EXPECT_EQ(db->RefCount(), 1);
  EXPECT_EQ(db->Owner(), s);
  EXPECT_EQ(s->OpenDatabase(dir), db);  // found again, ignoring nothing else
  EXPECT_EQ(db->RefCount(), 2);
  EXPECT_EQ(s->FindDatabase(dir), db);
  EXPECT_EQ(events, (std::vector<TDatabaseEvent>{dbAdd, dbOpen}));

  // Kept connected at count 0 while the session keeps connections ...
  s->CloseDatabase(db);
  s->CloseDatabase(db);
  EXPECT_EQ(s->DatabaseCount(), 1);
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(db->RefCount(), 0);
  // ... until DropConnections destroys it.
  s->DropConnections();
  EXPECT_EQ(s->DatabaseCount(), 0);

  // Without KeepConnections the last CloseDatabase destroys it.
  s->SetKeepConnections(false);
  db = s->OpenDatabase(dir);
  EXPECT_FALSE(db->KeepConnection());
  s->CloseDatabase(db);
  EXPECT_EQ(s->DatabaseCount(), 0);

  // A failing connect destroys the database it made.
  EXPECT_THROW(s->OpenDatabase(root + "/missing"), EPvDrmEngineError);
  EXPECT_EQ(s->DatabaseCount(), 0);
}

TEST_F(TPvDatabaseTest, SessionEndAndDestructionReleaseTemporaryDatabases) {
  const std::string dir1 = DbDir("d1"), dir2 = DbDir("d2");
  TPvAbsSession* s = Sessions()->OpenSession("Work");
  TPvAbsDatabase* db1 = s->OpenDatabase(dir1);
  s->OpenDatabase(dir2);
  auto* placed = Create<TPvDatabase>(nullptr);
  placed->SetSessionName("Work");
  placed->SetDatabaseName("Placed");
  placed->SetAliasName(dir1 + "/");
  placed->Open();
  EXPECT_EQ(placed->Session(), s);
  EXPECT_EQ(s->DatabaseCount(), 3);
  // An alias name other than the database name lives as a session alias
  // for exactly as long as the connection.
  EXPECT_TRUE(placed->SessionAlias());
  s->SetConfigMode(TConfigMode{cfmSession});
  TStringList aliases;
  s->GetAliasNames(&aliases);
  EXPECT_EQ(aliases.ToVector(), (std::vector<std::string>{"Placed"}));
  s->SetConfigMode(AllConfigModes);
  (void)db1;

  // Ending the engine session closes everything and destroys the temporary
  // databases; the placed one stays attached, closed.
  s->Close();
  EXPECT_EQ(s->DatabaseCount(), 1);
  EXPECT_FALSE(placed->Connected());
  EXPECT_FALSE(placed->SessionAlias());
  s->SetConfigMode(TConfigMode{cfmSession});
  TStringList after;
  s->GetAliasNames(&after);
  EXPECT_EQ(after.Count(), 0);
  s->SetConfigMode(AllConfigModes);
  placed->Open();

  // Destroying the session while it holds a temporary database: the placed
  // database falls back to the default session.
  s->OpenDatabase(dir2);
  s->Free();
  EXPECT_EQ(placed->Session(), DefaultPvSession());
  EXPECT_FALSE(placed->Connected());
  placed->Free();
  EXPECT_EQ(DefaultPvSession()->DatabaseCount(), 0);

  // Shutting the layer down with temporary databases still open.
  DefaultPvSession()->OpenDatabase(dir1);
  FinalizeSessions();
}

TEST_F(TPvDatabaseTest, SecuredDatabasePromptsOnceAndRetries) {
  const std::string dir = DbDir("secure");
  {
    uint32_t S = 0, D = 0;
    ASSERT_EQ(RareBeginSession(&S, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &D, 0, "", ""), 0);
    ASSERT_EQ(DrmEngineSetUser(S, D, "bob", "secret"), 0);
    RareEndSession(S);
  }
  auto* db = Create<TPvDatabase>(nullptr);
  db->SetName("SecureDb");
  db->SetDatabaseName(dir);
  db->Params()->Add("USER NAME=bob");

  HeadlessDialogs().AddLoginAnswer("bob", "secret");
  db->Open();
  EXPECT_TRUE(db->Connected());
  EXPECT_TRUE(db->IsSecured());
  ASSERT_EQ(HeadlessDialogs().LoginRequests().size(), 1u);
  EXPECT_EQ(HeadlessDialogs().LoginRequests()[0].Name, dir);
  EXPECT_EQ(HeadlessDialogs().LoginRequests()[0].UserName, "bob");
  db->Close();

  // A wrong answer: one prompt, then the engine's refusal is raised.
  HeadlessDialogs().Clear();
  HeadlessDialogs().AddLoginAnswer("bob", "wrong");
  HeadlessDialogs().AddLoginAnswer("bob", "secret");
  EXPECT_THAT(MessageOf<EPvDrmEngineError>([&] { db->Open(); }), HasSubstr("Component is SecureDb"));
  EXPECT_EQ(HeadlessDialogs().LoginRequests().size(), 1u);
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->Handle(), 0u);

  // Cancelling the prompt.
  HeadlessDialogs().Clear();
  HeadlessDialogs().AddLoginCancel();
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->Open(); }),
            "Cannot connect to database '" + dir + "'. Component is SecureDb");

  // The login event replaces the dialog.
  int asked = 0;
  db->OnLogin = [&](TPvAbsDatabase*, TStrings* p) {
    ++asked;
    EXPECT_EQ(p->Values("USER NAME"), "bob");
    p->SetValues("PASSWORD", "secret");
  };
  db->Open();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(db->Connected());

  // A database that is not secured takes any credentials without a prompt.
  HeadlessDialogs().Clear();
  auto* open = Create<TPvDatabase>(nullptr);
  open->SetDatabaseName(DbDir("open"));
  open->Open();
  EXPECT_FALSE(open->IsSecured());
  EXPECT_TRUE(HeadlessDialogs().LoginRequests().empty());
  open->Free();
  db->Free();
}

TEST_F(TPvDatabaseTest, TransactionsCommitAndRollBackRealData) {
  const std::string dir = DbDir("txn");
  auto* db = Create<TPvDatabase>(nullptr);
  db->SetName("Database1");
  db->SetDatabaseName(dir);
  db->Open();
  const uint32_t S = db->PvSession()->Handle();
  uint32_t idCol = 0, nameCol = 0, T = 0;
  CreatePeopleTable(S, db->Handle(), "People", idCol, nameCol);
  ASSERT_EQ(RareOpenTable(S, db->Handle(), "People", 0, 0, &T), 0);

  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->Commit(); }),
            "Currently not in transaction. Component is Database1");
  db->StartTransaction();
  EXPECT_TRUE(db->InTransaction());
  EXPECT_EQ(db->TransactSavepointName(), "Database1");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->StartTransaction(); }),
            "Nested transactions not supported. Component is Database1");
  InsertRow(S, T, idCol, 1);
  db->Rollback();
  EXPECT_FALSE(db->InTransaction());
  EXPECT_EQ(CountRows(dir, "People"), 0);

  db->StartTransaction();
  InsertRow(S, T, idCol, 2);
  EXPECT_EQ(CountRows(dir, "People"), 0);  // not visible to others yet
  db->Commit();
  EXPECT_EQ(CountRows(dir, "People"), 1);

  // Savepoint names collide within one engine session: the second database
  // of the same component name gets the counter appended.
  auto* db2 = Create<TPvDatabase>(nullptr);
  db2->SetName("Database1");
  db2->SetDatabaseName(DbDir("txn2"));
  db2->Open();
  auto* db3 = Create<TPvDatabase>(nullptr);
  db3->SetName("Database1");
  db3->SetDatabaseName(DbDir("txn3"));
  db3->Open();
  db->StartTransaction();
  db2->StartTransaction();
  db3->StartTransaction();
  EXPECT_EQ(db2->TransactSavepointName(), "Database10");
  EXPECT_EQ(db3->TransactSavepointName(), "Database11");
  db3->Commit();
  db2->Commit();
  InsertRow(S, T, idCol, 3);
  // Disconnecting rolls the open transaction back.
  RareCloseTable(S, T);
  db->Close();
  EXPECT_FALSE(db->InTransaction());
  EXPECT_EQ(CountRows(dir, "People"), 1);

  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->StartTransaction(); }),
            "Cannot perform this operation on a closed database. Component is Database1");
  db3->Free();
  db2->Free();
  db->Free();
}

TEST_F(TPvDatabaseTest, DatabasePropertyRulesAndHandles) {
  const std::string dir = DbDir("props");
  auto* db = Create<TPvDatabase>(nullptr);
  db->SetName("Db");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->Open(); }), "Database name missing. Component is Db");
  db->SetDatabaseName(dir);
  db->SetHandleShared(true);
  db->Open();
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->SetExclusive(true); }),
            "Cannot perform this operation on an open database. Component is Db");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->Params()->Add("X=1"); }),
            "Cannot perform this operation on an open database. Component is Db");
  // The refused line is not kept for the next connect.
  EXPECT_EQ(db->Params()->IndexOf("X=1"), -1);
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->Params()->SetValues("USER NAME", "eve"); }),
            "Cannot perform this operation on an open database. Component is Db");
  EXPECT_EQ(db->Params()->Values("USER NAME"), "");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->SetDirectory("x"); }),
            "Assignment to 'Directory' property is not supported. Component is Db");

  // A second database of the same name is refused unless both share.
  auto* other = Create<TPvDatabase>(nullptr);
  other->SetName("Other");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { other->SetDatabaseName(dir); }),
            "Duplicate database name '" + dir + "'. Component is Other");
  other->SetHandleShared(true);
  other->SetDatabaseName(dir);
  other->Open();
  EXPECT_EQ(other->Handle(), db->Handle());
  // The shared handle stays open while another holder is connected.
  other->Close();
  EXPECT_TRUE(db->IsSecured() == false);
  // Assigning a handle held by a database of the session attaches to it.
  other->SetHandle(db->Handle());
  EXPECT_TRUE(other->Connected());
  other->SetHandle(0);
  EXPECT_FALSE(other->Connected());
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { other->SetHandle(987654); }),
            "Database handle owned by a different session. Component is Other");

  // A temporary database of that name that nobody uses gives way.
  TPvSession* s = DefaultPvSession();
  const std::string dir2 = DbDir("temp");
  TPvAbsDatabase* temp = s->OpenDatabase(dir2);
  s->CloseDatabase(temp);
  other->SetHandleShared(false);
  other->SetDatabaseName(dir2);
  EXPECT_EQ(s->FindDatabase(dir2), other);

  // A server that is not this computer is named in the target.
  s->SetServerName("SRV");
  EXPECT_THAT(MessageOf<EPvDrmEngineError>([&] { other->Open(); }), HasSubstr("SRV"));
  s->SetServerName("localhost");
  other->Open();
  EXPECT_TRUE(other->Connected());

  // Flushing the schema cache of a closed database does nothing.
  other->Close();
  other->FlushSchemaCache("X");
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { other->ApplyUpdates({}); }), HasSubstr("not supported yet"));
  other->Free();
  db->Free();
}

TEST_F(TPvDatabaseTest, TableNamesByPattern) {
  const std::string dir = DbDir("names");
  {
    uint32_t S = 0, D = 0, id = 0, name = 0;
    ASSERT_EQ(RareBeginSession(&S, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(S, ("\t" + dir).c_str(), &D, 0, "", ""), 0);
    CreatePeopleTable(S, D, "Company", id, name);
    CreatePeopleTable(S, D, "MyCompany", id, name);
    CreatePeopleTable(S, D, "CompanyX", id, name);
    CreatePeopleTable(S, D, "Staff", id, name);
    RareEndSession(S);
  }
  TPvSession* s = DefaultPvSession();
  TStringList list;
  s->GetTableNames(dir, "Company", false, false, &list);
  std::vector<std::string> got = list.ToVector();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"Company", "MyCompany"}));
  s->GetTableNames(dir, "*", false, false, &list);
  EXPECT_EQ(list.Count(), 4);
  s->GetTableNames(dir, "s*", false, false, &list);
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"Staff"}));
  // The temporary database made for the listing is released again.
  EXPECT_EQ(s->FindDatabase(dir)->RefCount(), 0);
  s->GetStoredProcNames(dir, &list);
  EXPECT_EQ(list.Count(), 0);

  auto* db = static_cast<TPvDatabase*>(s->FindDatabase(dir));
  EXPECT_EQ(db->Tables()->Count(), 4);
  EXPECT_TRUE(db->Tables()->Filled());
  // The list is served from memory until the schema cache is flushed.
  uint32_t id = 0, name = 0;
  CreatePeopleTable(s->Handle(), db->Handle(), "Later", id, name);
  EXPECT_EQ(db->Tables()->Count(), 4);
  db->FlushSchemaCache("Company");
  EXPECT_EQ(db->Tables()->Count(), 5);
  db->Close();
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { db->Tables(); }),
            "Cannot perform this operation on a closed database. Cannot name the component");
}

TEST(MatchPatternTest, ConsequencesOfTheNonBacktrackingMatch) {
  // A pattern without a star matches where its first occurrence ends the text.
  EXPECT_TRUE(MatchPattern("Company", "MyCompany"));
  EXPECT_TRUE(MatchPattern("Company", "company"));
  EXPECT_FALSE(MatchPattern("Company", "CompanyX"));
  // After a star the first occurrence of the literal is taken.
  EXPECT_FALSE(MatchPattern("*b", "abab"));
  EXPECT_TRUE(MatchPattern("*b", "ab"));
  EXPECT_TRUE(MatchPattern("a*", "abab"));
  EXPECT_TRUE(MatchPattern("*", "x"));
  EXPECT_TRUE(MatchPattern("", "x"));
  EXPECT_TRUE(MatchPattern("*", ""));
  EXPECT_FALSE(MatchPattern("a", ""));
  // Leading segment with "?".
  EXPECT_TRUE(MatchPattern("C?mp*", "Company"));
  EXPECT_FALSE(MatchPattern("C?mp*", "Cmpany"));
  // "?" after a star demands that many characters before the literal.
  EXPECT_TRUE(MatchPattern("*??B", "XYB"));
  EXPECT_FALSE(MatchPattern("*??B", "XB"));
  // "?*" is "*?", and "?" trailing a star is dropped.
  EXPECT_TRUE(MatchPattern("ab?*", "abc"));
  EXPECT_TRUE(MatchPattern("ab*??", "ab"));
  // A "?" inside a later segment.
  EXPECT_TRUE(MatchPattern("*o?p*", "Company"));
  EXPECT_FALSE(MatchPattern("*o?x*", "Company"));
}

TEST_F(TPvDatabaseTest, EndingTheSessionSurvivesADatabaseThatFailsToClose) {
  TPvAbsSession* s = Sessions()->OpenSession("Fragile");
  s->OpenDatabase(DbDir("t1"));
  auto* placed = Create<TPvDatabase>(nullptr);
  placed->SetName("Stubborn");
  placed->SetSessionName("Fragile");
  placed->SetDatabaseName(DbDir("t2"));
  placed->Open();
  bool refuse = true;
  placed->BeforeDisconnect = [&](TObject*) {
    if (refuse) throw EDatabaseError("refused");
  };
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { s->Close(); }), "refused");
  // The temporary database is gone and the engine session ended anyway.
  EXPECT_FALSE(s->Active());
  EXPECT_EQ(s->DatabaseCount(), 1);
  refuse = false;
  placed->Free();
}

TEST_F(TPvDatabaseTest, ExclusiveOpenAndKeepConnection) {
  const std::string dir = DbDir("excl");
  auto* db = Create<TPvDatabase>(nullptr);
  db->SetDatabaseName(dir);
  db->SetExclusive(true);
  db->Open();
  // The engine enforces the exclusive open against every other session.
  TPvAbsSession* other = Sessions()->OpenSession("Other");
  EXPECT_THROW(other->OpenDatabase(dir), EPvDrmEngineError);
  EXPECT_EQ(other->DatabaseCount(), 0);
  db->Close();
  db->SetExclusive(false);
  TPvAbsDatabase* temp = other->OpenDatabase(dir);
  EXPECT_TRUE(temp->Connected());
  other->CloseDatabase(temp);
  // Turning KeepConnection off at count 0 closes a placed database.
  db->Open();
  db->SetKeepConnection(false);
  EXPECT_FALSE(db->Connected());
  db->Free();
}

TEST_F(TPvDatabaseTest, StoredStateIsAppliedAfterLoading) {
  TFreePtr<TComponent> form = CreateUnowned<TComponent>();
  auto* s = Create<TPvSession>(form.get());
  s->SetName("Stored");
  auto* db = Create<TPvDatabase>(form.get());
  db->SetName("StoredDb");
  BeginLoading(form.get());
  s->SetSessionName("StoredSession");
  s->SetActive(true);
  db->SetSessionName("StoredSession");
  db->SetDatabaseName(DbDir("stored"));
  db->SetConnected(true);
  EXPECT_FALSE(s->Active());
  EXPECT_FALSE(db->Connected());
  EndLoading(form.get());
  EXPECT_TRUE(s->Active());
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(db->Session(), s);
}

TEST_F(TPvDatabaseTest, LookupsWriteTraceEntries) {
  const std::string path = root + "/trace.txt";
  TraceOpenFile(path);
  Trace1590Open = true;
  Sessions()->FindSession("PvDefault");
  DefaultPvSession()->FindDatabase("none");
  TraceReset();
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("<diag type=\"1590_open\" meth=\"TPvAbsSessionList.FindSession\">"));
  EXPECT_THAT(text, HasSubstr("meth=\"TPvAbsSession.FindDatabase\""));
}
