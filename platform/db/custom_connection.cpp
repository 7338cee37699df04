#include "platform/db/custom_connection.h"

#include <algorithm>

#include "platform/db/dataset.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

void TCustomConnection::SetConnected(bool Value) {
  if (ComponentState().Contains(csReading)) {
    FStreamedConnected = Value;
    return;
  }
  if (Value == GetConnected()) return;
  if (Value) {
    Fire(BeforeConnect);
    DoConnect();
    Fire(AfterConnect);
  } else {
    Fire(BeforeDisconnect);
    DoDisconnect();
    Fire(AfterDisconnect);
  }
}

void TCustomConnection::Loaded() {
  TComponent::Loaded();
  try {
    if (FStreamedConnected) SetConnected(true);
  } catch (...) {
    if (ComponentState().Contains(csDesigning))
      HandleDatabaseException(this);
    else
      throw;
  }
}

void TCustomConnection::RegisterClient(TObject* Client) {
  if (Client == nullptr || std::find(FClients.begin(), FClients.end(), Client) != FClients.end()) return;
  FClients.push_back(Client);
  if (auto* ds = dynamic_cast<TDataSet*>(Client)) FDataSets.push_back(ds);
  if (auto* c = dynamic_cast<TComponent*>(Client)) FreeNotification(c);
}

void TCustomConnection::UnRegisterClient(TObject* Client) {
  auto it = std::find(FClients.begin(), FClients.end(), Client);
  if (it == FClients.end()) return;
  FClients.erase(it);
  auto d = std::find(FDataSets.begin(), FDataSets.end(), Client);
  if (d != FDataSets.end()) FDataSets.erase(d);
  if (auto* c = dynamic_cast<TComponent*>(Client); c != nullptr && c->Owner() != this)
    RemoveFreeNotification(c);
}

TDataSet* TCustomConnection::DataSets(int32_t Index) const {
  if (Index < 0 || Index >= DataSetCount())
    throw EListError(Format("List index (%d) out of bounds", Index));
  return FDataSets[static_cast<size_t>(Index)];
}

void TCustomConnection::CloseDataSets() {
  while (!FDataSets.empty()) {
    TDataSet* ds = FDataSets.back();
    ds->Close();
    // A client that stays registered after closing is taken off the list,
    // so that the loop ends.
    if (!FDataSets.empty() && FDataSets.back() == ds) UnRegisterClient(ds);
  }
}

void TCustomConnection::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove) {
    auto it = std::find(FClients.begin(), FClients.end(), static_cast<TObject*>(AComponent));
    if (it != FClients.end()) FClients.erase(it);
    auto d = std::find(FDataSets.begin(), FDataSets.end(), AComponent);
    if (d != FDataSets.end()) FDataSets.erase(d);
  }
}

void TCustomConnection::Shutdown() {
  RunAll([this] { SetConnected(false); }, [this] { TComponent::Shutdown(); });
}

}  // namespace dac
