// Data sources and links: state tracking, event dispatch, circular links,
// the master link, and the connection's client list and events.

#include <gtest/gtest.h>

#include "db_test_support.h"
#include "platform/db/custom_connection.h"

namespace dac::testing {
namespace {

class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> calls;
  std::vector<TField*> changedFields;

 protected:
  void ActiveChanged() override {
    TDataLink::ActiveChanged();
    calls.push_back(Active() ? "active" : "inactive");
  }
  void EditingChanged() override { calls.push_back(Editing() ? "editing" : "browsing"); }
  void RecordChanged(TField* Field) override {
    changedFields.push_back(Field);
    calls.push_back("record");
  }
  void DataSetScrolled(int32_t) override { calls.push_back("scrolled"); }
  void UpdateData() override { calls.push_back("update"); }
  void CheckBrowseMode() override { calls.push_back("check"); }
};

TEST(DataLinks, StateEventsAndDataSourceCallbacks) {
  auto ds = MakePeople(3, false);
  auto src = CreateUnowned<TDataSource>();
  RecordingLink link;
  link.SetDataSource(src.get());
  src->SetDataSet(ds.get());
  std::vector<std::string> srcLog;
  src->OnStateChange = [&](TObject*) { srcLog.push_back("state:" + DataSetStateName(src->State())); };
  src->OnDataChange = [&](TObject*, TField* f) { srcLog.push_back(f ? "data:" + f->FieldName() : "data"); };
  src->OnUpdateData = [&](TObject*) { srcLog.push_back("update"); };

  ds->Open();
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(link.calls, (std::vector<std::string>{"active"}));
  ds->Next();
  ds->Edit();
  EXPECT_TRUE(link.Editing());
  ds->FieldByName("NAME")->SetAsString("x");
  ASSERT_FALSE(link.changedFields.empty());
  EXPECT_EQ(link.changedFields.back(), ds->FieldByName("NAME"));
  ds->Post();
  EXPECT_FALSE(link.Editing());
  EXPECT_EQ(link.calls, (std::vector<std::string>{"active", "check", "scrolled", "check", "editing", "record",
                                                   "record", "update", "check", "browsing", "record"}));
  EXPECT_EQ(srcLog, (std::vector<std::string>{"state:dsBrowse", "data", "data", "state:dsEdit", "data",
                                               "data:NAME", "update", "state:dsBrowse", "data"}));
  // A disabled source reports an inactive dataset and passes nothing on.
  link.calls.clear();
  src->SetEnabled(false);
  EXPECT_FALSE(link.Active());
  ds->Next();
  EXPECT_EQ(link.calls, (std::vector<std::string>{"inactive"}));
  src->SetEnabled(true);
  EXPECT_TRUE(link.Active());
  link.SetDataSource(nullptr);
}

TEST(DataLinks, FreeingEitherSideDetaches) {
  auto ds = MakePeople(2);
  auto* src = Create<TDataSource>(nullptr);
  RecordingLink link;
  link.SetDataSource(src);
  src->SetDataSet(ds.get());
  ds.reset();  // the dataset goes first
  EXPECT_EQ(src->DataSet(), nullptr);
  EXPECT_EQ(src->State(), dsInactive);
  EXPECT_FALSE(link.Active());
  src->Free();  // then the source
  EXPECT_EQ(link.DataSource(), nullptr);
}

// A dataset whose master is a data source, as a detail table has.
class TDetailDataSet : public TMemoryDataSet {
 public:
  TDataSource* Master = nullptr;
  TDataSource* GetDataSource() override { return Master; }
};

TEST(DataLinks, CircularLinksAreRefused) {
  auto a = MakePeople(1);
  auto b = CreateUnowned<TDetailDataSet>();
  auto srcA = CreateUnowned<TDataSource>();
  auto srcB = CreateUnowned<TDataSource>();
  srcA->SetName("SourceA");
  srcA->SetDataSet(a.get());
  b->Master = srcA.get();  // b follows a
  srcB->SetDataSet(b.get());
  EXPECT_TRUE(srcA->IsLinkedTo(b.get()));
  EXPECT_FALSE(srcB->IsLinkedTo(a.get()));
  EXPECT_FALSE(b->IsLinkedTo(srcA.get()));
  EXPECT_TRUE(b->IsLinkedTo(srcB.get()));
  // b's master source cannot be pointed at b itself.
  try {
    srcA->SetDataSet(b.get());
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "SourceA: Circular datalinks are not allowed");
  }
  EXPECT_EQ(srcA->DataSet(), a.get());
}

TEST(DataLinks, MasterLinkFollowsTheMaster) {
  auto master = MakePeople(5);
  auto detail = MakePeople(1);
  auto src = CreateUnowned<TDataSource>();
  src->SetDataSet(master.get());
  TMasterDataLink link(detail.get());
  std::vector<std::string> log;
  link.OnMasterChange = [&](TObject*) { log.push_back("change"); };
  link.OnMasterDisable = [&](TObject*) { log.push_back("disable"); };
  link.SetFieldNames("ID");
  link.SetDataSource(src.get());
  ASSERT_EQ(link.Fields().size(), 1u);
  EXPECT_EQ(link.Fields()[0], master->FieldByName("ID"));
  EXPECT_EQ(log, (std::vector<std::string>{"disable", "change"}));
  log.clear();
  master->Next();
  EXPECT_EQ(log, (std::vector<std::string>{"change"}));
  log.clear();
  master->Edit();
  EXPECT_EQ(log, (std::vector<std::string>{"change"})) << "record change";
  log.clear();
  master->FieldByName("NAME")->SetAsString("n");
  EXPECT_TRUE(log.empty()) << "a field outside the link's fields";
  master->FieldByName("ID")->SetAsInteger(50);
  EXPECT_EQ(log, (std::vector<std::string>{"change"}));
  master->Cancel();
  log.clear();
  master->Close();
  EXPECT_EQ(log, (std::vector<std::string>{"disable"}));
  EXPECT_TRUE(link.Fields().empty());
  link.SetFieldNames("NOPE");  // not checked while the master is closed
  EXPECT_THROW(master->Open(), EDatabaseError);
  EXPECT_TRUE(master->Active()) << "the link's error does not undo the open";
  EXPECT_TRUE(link.Fields().empty()) << "cleared on error";
  link.SetFieldNames("NAME;ID");
  EXPECT_EQ(link.Fields().size(), 2u);
  link.SetDataSource(nullptr);
}

class TTestConnection : public TCustomConnection {
 public:
  bool FOpen = false;
  bool FailConnect = false;

 protected:
  bool GetConnected() override { return FOpen; }
  void DoConnect() override {
    if (FailConnect) throw EDatabaseError("cannot connect");
    FOpen = true;
  }
  void DoDisconnect() override {
    CloseDataSets();
    FOpen = false;
  }
};

TEST(Connection, EventsClientsAndLoading) {
  auto owner = CreateUnowned<TComponent>();
  auto* c = Create<TTestConnection>(owner.get());
  std::vector<std::string> log;
  c->BeforeConnect = [&](TObject*) { log.push_back("BeforeConnect"); };
  c->AfterConnect = [&](TObject*) { log.push_back("AfterConnect"); };
  c->BeforeDisconnect = [&](TObject*) { log.push_back("BeforeDisconnect"); };
  c->AfterDisconnect = [&](TObject*) { log.push_back("AfterDisconnect"); };
  c->Open();
  c->Open();  // already connected: nothing
  auto a = MakePeople(1);
  auto b = MakePeople(1);
  c->RegisterClient(a.get());
  c->RegisterClient(b.get());
  c->RegisterClient(b.get());
  EXPECT_EQ(c->DataSetCount(), 2);
  EXPECT_EQ(c->DataSets(1), b.get());
  EXPECT_THROW(c->DataSets(2), EListError);
  c->Close();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeConnect", "AfterConnect", "BeforeDisconnect", "AfterDisconnect"}));
  EXPECT_FALSE(a->Active());
  EXPECT_FALSE(b->Active());
  EXPECT_EQ(c->DataSetCount(), 0);
  // A freed client leaves the list.
  c->RegisterClient(a.get());
  a.reset();
  EXPECT_EQ(c->DataSetCount(), 0);
  // Stored connected: applied when loading ends; a failure passes on.
  log.clear();
  BeginLoading(owner.get());
  c->SetConnected(true);
  EXPECT_FALSE(c->Connected());
  EXPECT_TRUE(c->StreamedConnected());
  EndLoading(owner.get());
  EXPECT_TRUE(c->Connected());
  c->Close();
  c->FailConnect = true;
  BeginLoading(owner.get());
  c->SetConnected(true);
  EXPECT_THROW(EndLoading(owner.get()), EDatabaseError);
  EXPECT_FALSE(c->Connected());
}

}  // namespace
}  // namespace dac::testing
