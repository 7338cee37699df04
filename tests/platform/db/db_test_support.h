#pragma once
// Shared set-up for the dataset framework tests: an in-memory dataset with
// a few columns, and an event recorder.

#include <memory>
#include <string>
#include <vector>

#include "platform/db/data_source.h"
#include "platform/db/memory_dataset.h"

namespace dac::testing {

// A dataset "People" with ID (Integer, required), NAME (String 20) and
// SALARY (Float), filled with n records: ID i, NAME "Name<i>", SALARY i * 10.
inline TFreePtr<TMemoryDataSet> MakePeople(int n, bool open = true) {
  auto ds = CreateUnowned<TMemoryDataSet>();
  ds->SetName("People");
  ds->FieldDefs()->Add("ID", ftInteger, 0, true);
  ds->FieldDefs()->Add("NAME", ftString, 20);
  ds->FieldDefs()->Add("SALARY", ftFloat);
  ds->Open();
  for (int i = 1; i <= n; ++i)
    ds->AppendRecord({Variant(i), Variant("Name" + std::to_string(i)), Variant(i * 10.0)});
  ds->First();
  if (!open) ds->Close();
  return ds;
}

// Records the dataset's before/after events and the data events a link
// receives, as text in one log.
class TEventLog {
 public:
  std::vector<std::string> Entries;
  void Add(const std::string& s) { Entries.push_back(s); }
  void Clear() { Entries.clear(); }
  std::string Joined() const {
    std::string r;
    for (const auto& e : Entries) r += (r.empty() ? "" : ",") + e;
    return r;
  }
};

inline void HookEvents(TDataSet* ds, TEventLog& log) {
  auto hook = [&log](TDataSetNotifyEvent& ev, const char* name) {
    ev = [&log, name](TDataSet*) { log.Add(name); };
  };
  hook(ds->BeforeOpen, "BeforeOpen");
  hook(ds->AfterOpen, "AfterOpen");
  hook(ds->BeforeClose, "BeforeClose");
  hook(ds->AfterClose, "AfterClose");
  hook(ds->BeforeInsert, "BeforeInsert");
  hook(ds->AfterInsert, "AfterInsert");
  hook(ds->BeforeEdit, "BeforeEdit");
  hook(ds->AfterEdit, "AfterEdit");
  hook(ds->BeforePost, "BeforePost");
  hook(ds->AfterPost, "AfterPost");
  hook(ds->BeforeCancel, "BeforeCancel");
  hook(ds->AfterCancel, "AfterCancel");
  hook(ds->BeforeDelete, "BeforeDelete");
  hook(ds->AfterDelete, "AfterDelete");
  hook(ds->BeforeScroll, "BeforeScroll");
  hook(ds->AfterScroll, "AfterScroll");
  hook(ds->BeforeRefresh, "BeforeRefresh");
  hook(ds->AfterRefresh, "AfterRefresh");
  hook(ds->OnNewRecord, "OnNewRecord");
}

// A link that logs the data events it receives.
class TLoggingLink : public TDataLink {
 public:
  explicit TLoggingLink(TEventLog& log) : FLog(log) {}
  void DataEvent(TDataEvent Event, intptr_t Info) override {
    FLog.Add(DataEventName(Event));
    TDataLink::DataEvent(Event, Info);
  }

 private:
  TEventLog& FLog;
};

}  // namespace dac::testing
