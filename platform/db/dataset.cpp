// TDataSet: construction, lifetime, opening and closing, and the provider
// defaults. Fields, the events, the buffer ring with navigation, and editing
// are in dataset_fields.cpp, dataset_events.cpp, dataset_navigation.cpp and
// dataset_editing.cpp.

#include "platform/db/dataset.h"

#include "platform/db/data_source.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

TDataSet::TDataSet()
    : FFields(std::make_unique<TFields>(this)),
      FFieldDefs(std::make_unique<TFieldDefs>(this)),
      FConstraints(std::make_unique<TCheckConstraints>(this)) {}

TDataSet::~TDataSet() = default;

// ---- lifetime --------------------------------------------------------------------

void TDataSet::Shutdown() {
  auto close = [this] {
    // Whatever a failing close left behind must still go.
    Finally release([this] {
      ClearBuffers();
      SetBufListSize(0);
    });
    SetActive(false);
    release.Dismiss();
  };
  auto unlink = [this] {
    std::vector<TDataSource*> sources = FDataSources;
    FDataSources.clear();
    for (TDataSource* ds : sources) ds->DataSetFreed();
    // Fields of other owners stay behind unbound; our own go with our
    // components.
    for (TField* f : FFields->List()) f->FDataSet = nullptr;
    FFields->Clear();
    TComponent::Shutdown();
  };
  RunAll(close, unlink);
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  try {
    if (FStreamedActive) {
      FStreamedActive = false;
      SetActive(true);
    }
  } catch (...) {
    if (ComponentState().Contains(csDesigning))
      InternalHandleException();
    else
      throw;
  }
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
}

void TDataSet::InternalHandleException() { HandleDatabaseException(this); }

// ---- opening and closing ----------------------------------------------------------

void TDataSet::SetActive(bool Value) {
  if (Value && FState == dsInactive) {
    if (ComponentState().Contains(csLoading)) {
      FStreamedActive = true;
      return;
    }
    DoBeforeOpen();
    FEnableEvent = deLayoutChange;
    FInternalCalcFields = false;
    // Completes the open, or closes the cursor again when it failed.
    Finally complete([this] {
      if (FState != dsOpening) OpenCursorComplete();
    });
    FDefaultFields = FieldCount() == 0;
    OpenCursor(false);
    complete.Run();
    FModified = false;
  } else if (!Value && FState != dsInactive) {
    DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    DoAfterClose();
    FModified = false;
  }
}

void TDataSet::OpenCursor(bool InfoQuery) {
  if (InfoQuery)
    InternalInitFieldDefs();
  else if (FState != dsOpening)
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  InternalOpen();
  FRecordCount = 0;
  RecalcBufListSize();
  FBOF = true;
  FEOF = FRecordCount == 0;
  // Complete only once the ring is filled: a failing first read closes the
  // cursor again instead of leaving a half-open dataset.
  FInternalOpenComplete = true;
}

void TDataSet::OpenCursorComplete() {
  if (FInternalOpenComplete) {
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::CloseCursor() {
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  InternalClose();
  FInternalOpenComplete = false;
}

void TDataSet::DoBeforeClose() {
  if (!ComponentState().Contains(csDestroying)) Fire(BeforeClose);
}

void TDataSet::DoAfterClose() {
  if (!ComponentState().Contains(csDestroying)) Fire(AfterClose);
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(dbmsg::SInactiveDataset, this);
}

void TDataSet::CheckInactive() {
  if (!Active()) return;
  TComponentState cs = ComponentState();
  if (cs.Contains(csUpdating) || cs.Contains(csDesigning))
    Close();
  else
    DatabaseError(dbmsg::SActiveDataset, this);
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
    return;
  }
  Finally close([this] { CloseCursor(); });
  OpenCursor(true);
  close.Run();
}

// ---- provider support ---------------------------------------------------------------

std::unique_ptr<EUpdateError> TDataSet::PSGetUpdateException(const Exception& E, const EUpdateError* Prev) {
  return std::make_unique<EUpdateError>(E.Message(), "", 0, Prev != nullptr ? Prev->ErrorCode() : 0,
                                        E.Clone());
}

void TDataSet::PSEndTransaction(bool Commit) {
  (void)Commit;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
bool TDataSet::PSInTransaction() { DatabaseError(dbmsg::SProviderNotSupported, this); }
bool TDataSet::PSIsSQLBased() { DatabaseError(dbmsg::SProviderNotSupported, this); }
void TDataSet::PSStartTransaction() { DatabaseError(dbmsg::SProviderNotSupported, this); }
bool TDataSet::PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
  (void)UpdateKind;
  (void)Delta;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
std::string TDataSet::PSGetTableName() { DatabaseError(dbmsg::SProviderNotSupported, this); }
void TDataSet::PSSetCommandText(const std::string& CommandText) {
  (void)CommandText;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
void TDataSet::PSSetParams(TParams* Params) {
  (void)Params;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
std::string TDataSet::PSGetKeyFields() { DatabaseError(dbmsg::SProviderNotSupported, this); }
void TDataSet::PSExecute() { DatabaseError(dbmsg::SProviderNotSupported, this); }

}  // namespace dac
