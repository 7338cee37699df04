// The order of the dataset's before/after events and of the data events a
// link receives, for the basic operations.

#include <gtest/gtest.h>

#include "db_test_support.h"

namespace dac::testing {
namespace {

class EventOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds = MakePeople(3, false);
    src = CreateUnowned<TDataSource>();
    src->SetDataSet(ds.get());
    link = std::make_unique<TLoggingLink>(log);
    link->SetDataSource(src.get());
    HookEvents(ds.get(), log);
    log.Clear();
  }
  void TearDown() override {
    link.reset();
    src.reset();
    ds.reset();
  }
  TEventLog log;
  TFreePtr<TMemoryDataSet> ds;
  TFreePtr<TDataSource> src;
  std::unique_ptr<TLoggingLink> link;
};

TEST_F(EventOrderTest, OpenScrollAndClose) {
  ds->Open();
  EXPECT_EQ(log.Joined(), "BeforeOpen,deUpdateState,AfterOpen,AfterScroll");
  EXPECT_TRUE(link->Active());
  log.Clear();
  ds->Next();
  EXPECT_EQ(log.Joined(), "deCheckBrowseMode,BeforeScroll,deDataSetScroll,AfterScroll");
  log.Clear();
  ds->Last();
  EXPECT_EQ(log.Joined(), "deCheckBrowseMode,BeforeScroll,deDataSetChange,AfterScroll");
  log.Clear();
  // At the end a further Next announces the scroll but does not move.
  ds->Next();
  EXPECT_EQ(log.Joined(), "deCheckBrowseMode,BeforeScroll");
  log.Clear();
  ds->Close();
  EXPECT_EQ(log.Joined(), "BeforeClose,deUpdateState,AfterClose");
  EXPECT_FALSE(link->Active());
}

TEST_F(EventOrderTest, InsertPostCancelEditDelete) {
  ds->Open();
  log.Clear();
  ds->Insert();
  EXPECT_EQ(log.Joined(),
            "deCheckBrowseMode,BeforeInsert,BeforeScroll,deUpdateState,OnNewRecord,deDataSetChange,"
            "AfterInsert,AfterScroll");
  log.Clear();
  ds->FieldByName("ID")->SetAsInteger(99);
  EXPECT_EQ(log.Joined(), "deFieldChange");
  log.Clear();
  ds->Post();
  EXPECT_EQ(log.Joined(), "deUpdateRecord,deCheckBrowseMode,BeforePost,deUpdateState,deDataSetChange,AfterPost");
  log.Clear();
  ds->Edit();
  EXPECT_EQ(log.Joined(), "deCheckBrowseMode,BeforeEdit,deUpdateState,deRecordChange,AfterEdit");
  log.Clear();
  ds->Cancel();
  EXPECT_EQ(log.Joined(), "deCheckBrowseMode,BeforeCancel,deUpdateState,deDataSetChange,AfterCancel");
  log.Clear();
  ds->Delete();
  EXPECT_EQ(log.Joined(), "deCheckBrowseMode,BeforeDelete,BeforeScroll,deDataSetChange,AfterDelete,AfterScroll");
  EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(EventOrderTest, DisabledControlsReplayOneEventOnEnable) {
  ds->Open();
  log.Clear();
  ds->DisableControls();
  ds->DisableControls();
  ds->Next();
  ds->Next();
  EXPECT_EQ(log.Joined(), "BeforeScroll,AfterScroll,BeforeScroll,AfterScroll");
  log.Clear();
  ds->EnableControls();
  EXPECT_TRUE(log.Entries.empty()) << "still disabled once";
  ds->EnableControls();
  EXPECT_EQ(log.Joined(), "deDataSetChange");
  EXPECT_FALSE(ds->ControlsDisabled());
  log.Clear();
  // A state change while disabled is reported on enable, before the
  // remembered event.
  ds->DisableControls();
  ds->Edit();
  ds->EnableControls();
  EXPECT_EQ(log.Joined(), "BeforeEdit,AfterEdit,deUpdateState,deDataSetChange");
  EXPECT_TRUE(link->Editing());
}

}  // namespace
}  // namespace dac::testing
