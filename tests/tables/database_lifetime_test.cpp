// Closing a database or ending its session while tables are open on it: the
// database is closed once, never freed from inside its own close, and the
// temporary ones are destroyed only after they closed.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sessions/database.h"
#include "sessions/session.h"
#include "sessions/session_list.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;

class TPvDatabaseLifetime : public tabletest::TableTest {};

TEST_F(TPvDatabaseLifetime, EndingTheSessionWithATableOpenOnATemporaryDatabase) {
  NumberTable("Nums", {1, 2, 3});
  TPvAbsSession* s = Sessions()->OpenSession("Brief");
  s->SetKeepConnections(false);
  auto t = Table("Nums");
  t->SetSessionName("Brief");
  t->Open();
  ASSERT_EQ(s->DatabaseCount(), 1);
  ASSERT_TRUE(s->Databases(0)->Temporary());
  std::vector<TDatabaseEvent> events;
  s->OnDBNotify = [&](TDatabaseEvent e, const void*) { events.push_back(e); };
  s->Close();
  EXPECT_FALSE(t->Active());
  EXPECT_EQ(s->DatabaseCount(), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), dbClose), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), dbRemove), 1);
  // The table opens again on a new temporary database.
  t->Open();
  EXPECT_EQ(tabletest::TableTest::Walk(t.get()), (std::vector<int32_t>{1, 2, 3}));
  s->OnDBNotify = nullptr;
}

TEST_F(TPvDatabaseLifetime, ChangingTheServerNameWithATableOpen) {
  NumberTable("Nums", {1});
  TPvAbsSession* s = Sessions()->OpenSession("Moving");
  s->SetKeepConnections(false);
  auto t = Table("Nums");
  t->SetSessionName("Moving");
  t->Open();
  s->SetServerName("elsewhere");
  EXPECT_FALSE(t->Active());
  EXPECT_FALSE(s->Active());
  EXPECT_EQ(s->DatabaseCount(), 0);
}

TEST_F(TPvDatabaseLifetime, APlacedDatabaseWithoutKeepConnectionDisconnectsOnce) {
  NumberTable("Nums", {1});
  auto* db = dac::Create<TPvDatabase>(nullptr);
  db->SetName("Placed");
  db->SetDatabaseName(dir);
  db->SetKeepConnection(false);
  std::vector<std::string> log;
  db->BeforeDisconnect = [&](TObject*) { log.push_back("before"); };
  db->AfterDisconnect = [&](TObject*) { log.push_back("after"); };
  int closes = 0;
  DefaultPvSession()->OnDBNotify = [&](TDatabaseEvent e, const void*) { closes += e == dbClose ? 1 : 0; };
  auto t = Table("Nums");
  t->Open();
  EXPECT_TRUE(db->Connected());
  db->Close();
  EXPECT_FALSE(t->Active());
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(log, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(closes, 1);
  // Closing the last table of an open database without KeepConnection still
  // closes it, once.
  log.clear();
  closes = 0;
  t->Open();
  t->Close();
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(log, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(closes, 1);
  DefaultPvSession()->OnDBNotify = nullptr;
  db->Free();
}

}  // namespace
