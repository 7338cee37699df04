#pragma once
// TCustomConnection: a component that connects to something (a database)
// and keeps the list of datasets that use it. Connecting and disconnecting
// run the descendant's DoConnect / DoDisconnect between the before and
// after events. The connection never prompts for a login itself; that is
// the descendant's business inside DoConnect.

#include <cstdint>
#include <vector>

#include "platform/db/db_types.h"
#include "platform/rtl/component.h"

namespace dac {

class TDataSet;

class TCustomConnection : public TComponent {
 public:
  TCustomConnection() = default;

  bool Connected() { return GetConnected(); }
  void SetConnected(bool Value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool Value) { FLoginPrompt = Value; }
  // The value read for Connected while loading, applied by Loaded.
  bool StreamedConnected() const { return FStreamedConnected; }

  // Clients in registration order; datasets are also listed in DataSets.
  void RegisterClient(TObject* Client);
  void UnRegisterClient(TObject* Client);
  int32_t DataSetCount() const { return static_cast<int32_t>(FDataSets.size()); }
  TDataSet* DataSets(int32_t Index) const;
  int32_t ClientCount() const { return static_cast<int32_t>(FClients.size()); }
  TObject* Clients(int32_t Index) const { return FClients.at(static_cast<size_t>(Index)); }
  // Closes the last dataset until none remains.
  void CloseDataSets();

  TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;

 protected:
  virtual bool GetConnected() { return false; }
  virtual void DoConnect() {}
  virtual void DoDisconnect() {}
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Shutdown() override;

 private:
  void Fire(const TNotifyEvent& E) {
    if (E) E(this);
  }

  bool FLoginPrompt = false;
  bool FStreamedConnected = false;
  std::vector<TObject*> FClients;
  std::vector<TDataSet*> FDataSets;
};

}  // namespace dac
