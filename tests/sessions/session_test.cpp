#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "errors/pv_errors.h"
#include "platform/desktop/computer_name.h"
#include "platform/rtl/strings.h"
#include "sessions/database.h"
#include "support/message_of.h"
#include "support/session_fixture.h"

using namespace dac;
using ::testing::HasSubstr;
using testsupport::MessageOf;

namespace {
class TPvSessionTest : public sessiontest::SessionTest {};
}  // namespace

TEST_F(TPvSessionTest, DefaultSessionExistsAndNamesResolve) {
  TPvSession* def = DefaultPvSession();
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->SessionName(), "PvDefault");
  EXPECT_EQ(Sessions()->FindSession(""), def);
  EXPECT_EQ(Sessions()->FindSession("pvDEFAULT"), def);
  EXPECT_EQ(Sessions()->FindSession("Nobody"), nullptr);
  EXPECT_EQ(MessageOf<EDatabaseError>([] { Sessions()->GetSessionByName("Nobody"); }),
            "Invalid session name Nobody");
  EXPECT_FALSE(def->Active());

  // Shutting the layer down and starting it again gives a fresh default.
  FinalizeSessions();
  InitializeSessions();
  EXPECT_EQ(Sessions()->Count(), 1);
  EXPECT_EQ(DefaultPvSession()->SessionName(), "PvDefault");
}

TEST_F(TPvSessionTest, SessionBeginsAndEndsItsEngineSession) {
  TPvSession* s = DefaultPvSession();
  s->Open();
  EXPECT_TRUE(s->Active());
  uint32_t h = s->DescSessionHandle();
  EXPECT_NE(h, 0u);
  // The engine knows the handle: a session option on it succeeds.
  EXPECT_EQ(RareSetSessionOption(h, DRM_SESOPT_ISOLATION, DRM_ISOLATION_READ_COMMITTED), 0);
  s->Close();
  EXPECT_FALSE(s->Active());
  EXPECT_EQ(s->DescSessionHandle(), 0u);
  EXPECT_NE(RareSetSessionOption(h, DRM_SESOPT_ISOLATION, DRM_ISOLATION_READ_COMMITTED), 0);
  // Reading Handle begins the engine session again.
  EXPECT_NE(s->Handle(), 0u);
  EXPECT_TRUE(s->Active());

  int startups = 0;
  TPvAbsSession* other = Sessions()->OpenSession("Second");
  EXPECT_TRUE(other->Active());
  EXPECT_EQ(Sessions()->FindSession("SECOND"), other);
  other->Close();
  other->OnStartup = [&](TObject*) { ++startups; };
  other->Open();
  EXPECT_EQ(startups, 1);
}

TEST_F(TPvSessionTest, SessionNameRules) {
  TPvAbsSession* a = Sessions()->CreateSession();
  a->SetName("SessA");
  // Without a name a session cannot start.
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { a->Open(); }), "Session name missing. Component is SessA");
  EXPECT_FALSE(a->Active());
  a->SetSessionName("Alpha");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { a->SetSessionName("pvdefault"); }),
            "Duplicate session name 'pvdefault'. Component is SessA");
  EXPECT_EQ(a->SessionName(), "Alpha");
  a->Open();
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { a->SetSessionName("Beta"); }),
            "Cannot perform this operation on an active session. Component is SessA");
  a->Free();
  EXPECT_EQ(Sessions()->FindSession("Alpha"), nullptr);
}

TEST_F(TPvSessionTest, AutomaticSessionNamesTakeAndFreeNumbers) {
  TFreePtr<TComponent> form1 = CreateUnowned<TComponent>();
  TFreePtr<TComponent> form2 = CreateUnowned<TComponent>();
  TFreePtr<TComponent> form3 = CreateUnowned<TComponent>();
  auto* s1 = Create<TPvSession>(form1.get());
  s1->SetName("Session1");
  auto* s2 = Create<TPvSession>(form2.get());
  s2->SetName("Session2");
  s1->SetAutoSessionName(true);
  s2->SetAutoSessionName(true);
  EXPECT_EQ(s1->SessionName(), "Session1_1");
  EXPECT_EQ(s2->SessionName(), "Session2_2");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { s1->SetSessionName("X"); }),
            "Cannot modify SessionName while AutoSessionName is enabled. Component is Session1");
  // Renaming the component renames the session.
  s1->SetName("Main");
  EXPECT_EQ(s1->SessionName(), "Main_1");

  s1->SetAutoSessionName(false);
  auto* s3 = Create<TPvSession>(form3.get());
  s3->SetName("Session3");
  s3->SetAutoSessionName(true);
  EXPECT_EQ(s3->SessionName(), "Session3_1");

  // A second session on a form whose session names itself is refused, and
  // a session beside another cannot name itself automatically.
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { Create<TPvSession>(form3.get()); }),
            "Cannot add a session to the form or data-module while session 'Session3' has AutoSessionName "
            "enabled. Cannot name the component");
  auto* plain = Create<TPvSession>(form1.get());
  plain->SetName("Plain");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { plain->SetAutoSessionName(true); }),
            "Cannot enable AutoSessionName property with more than one session on a form or data-module. "
            "Component is Plain");
  EXPECT_FALSE(plain->AutoSessionName());
  // A database placed beside an automatic session is bound to it.
  auto* db = Create<TPvDatabase>(form3.get());
  EXPECT_EQ(db->Session(), s3);
  EXPECT_EQ(db->SessionName(), "Session3_1");
}

TEST_F(TPvSessionTest, HourGlassNestsAndRestoresOnce) {
  TPvSession* s = DefaultPvSession();
  Screen().SetCursor(crArrow);
  EXPECT_EQ(s->SetSQLHourGlassOnScreen(), crArrow);
  EXPECT_EQ(Screen().Cursor(), crSQLWait);
  EXPECT_EQ(s->SetSQLHourGlassOnScreen(), crSQLWait);
  s->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(Screen().Cursor(), crSQLWait);
  s->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(Screen().Cursor(), crArrow);
  // A restore without a set does nothing.
  Screen().SetCursor(crDefault);
  s->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(Screen().Cursor(), crDefault);
  // A cursor the application set meanwhile is left alone.
  s->SetSQLHourGlassOnScreen();
  Screen().SetCursor(crHourGlass);
  s->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(Screen().Cursor(), crHourGlass);
  // A session without the hourglass changes nothing, not even the count.
  s->SetSQLHourGlass(false);
  Screen().SetCursor(crDefault);
  s->SetSQLHourGlassOnScreen();
  EXPECT_EQ(Screen().Cursor(), crDefault);
  s->SetSQLHourGlass(true);
  s->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(Screen().Cursor(), crDefault);
}

TEST_F(TPvSessionTest, PasswordsAndGetPassword) {
  TPvSession* s = DefaultPvSession();
  s->AddPassword("Secret");
  s->AddPassword("SECRET");
  s->AddPassword("abc");
  EXPECT_EQ(s->Passwords().Count(), 2);
  s->RemovePassword("secret");
  EXPECT_EQ(s->Passwords().Count(), 1);
  s->RemoveAllPasswords();
  EXPECT_EQ(s->Passwords().Count(), 0);

  // The dialog: OK adds the typed password.
  HeadlessDialogs().AddPasswordAnswer("typed");
  EXPECT_TRUE(s->GetPassword());
  EXPECT_EQ(s->Passwords().Count(), 1);
  EXPECT_FALSE(s->GetPassword());  // no answer queued: cancelled
  EXPECT_EQ(HeadlessDialogs().PasswordRequests(), 2);
  // The event replaces the dialog.
  s->OnPassword = [](TObject*, bool& cont) {
    EXPECT_FALSE(cont);
    cont = true;
  };
  EXPECT_TRUE(s->GetPassword());
  EXPECT_EQ(HeadlessDialogs().PasswordRequests(), 2);
}

TEST_F(TPvSessionTest, LocalSystemAndDirectories) {
  TPvSession* s = DefaultPvSession();
  EXPECT_TRUE(s->LocalSystem());
  s->SetServerName(ComputerName());
  EXPECT_TRUE(s->LocalSystem());
  s->SetServerName("localhost");
  EXPECT_FALSE(s->LocalSystem());
  s->SetServerName("");
  s->SetNetFileDir("C:\\Net\\DIR");
  EXPECT_EQ(s->NetFileDir(), "c:\\net\\dir");
  // A change of server closes the session.
  s->Open();
  s->SetServerName("Elsewhere");
  EXPECT_FALSE(s->Active());
}

TEST_F(TPvSessionTest, NotYetBuiltSlotsRaise) {
  TPvSession* s = DefaultPvSession();
  TStringList list;
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { s->GetAliasNames(&list); }), HasSubstr("is not supported yet"));
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { s->DtiHandle(); }), HasSubstr("is not supported yet"));
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { s->DropNamedDatabase("X"); }), HasSubstr("is not supported yet"));
  // Session-only aliases live in memory.
  s->SetConfigMode(TConfigMode{cfmSession});
  list.Add("PATH=/x");
  s->AddAlias("Mine", &list);
  TStringList names;
  s->GetAliasNames(&names);
  ASSERT_EQ(names.Count(), 1);
  EXPECT_EQ(names.Strings(0), "Mine");
  TStringList params;
  s->GetAliasParams("Mine", &params);
  EXPECT_EQ(params.Values("PATH"), "/x");
  EXPECT_EQ(params.Values("INTEGRITY"), "TRUE");
  // Database names: the session aliases and the attached databases, sorted.
  TStringList dbNames;
  dbNames.Add("stale");
  Create<TPvDatabase>(nullptr)->SetDatabaseName("Zeta");
  s->GetDatabaseNames(&dbNames);
  EXPECT_EQ(dbNames.ToVector(), (std::vector<std::string>{"Mine", "Zeta"}));
  s->Databases(0)->Free();
  s->DeleteAlias("Mine");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { s->GetAliasParams("Mine", &params); }),
            "Cannot locate the alias. Cannot name the component");
}
