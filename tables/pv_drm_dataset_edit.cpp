// TPvDrmDataSet: writing field data and the record-editing operations.
#include "tables/pv_drm_dataset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "catalog/drm_misc.h"
#include "errors/checks.h"
#include "errors/error_text.h"
#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "errors/trace.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"
#include "sessions/database.h"
#include "sessions/session.h"
#include "sessions/session_list.h"
#include "tables/pv_drm_dataset_internal.h"

namespace dac {

using namespace drmdataset;

void TPvDrmDataSet::SetFieldData(TField* Field, const void* Buffer) {
  if (FPutFieldInBufferSrc != nullptr) {
    // A filter constant being converted: capture the native bytes only.
    std::vector<uint8_t>& capture = *FPutFieldInBufferSrc;
    capture[0] = Buffer != nullptr ? 1 : 0;
    if (Buffer != nullptr)
      std::memcpy(capture.data() + 1, Buffer,
                  std::min(capture.size() - 1, static_cast<size_t>(Field->DataSize())));
    return;
  }
  switch (State()) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc: break;
    default: PvDatabaseError(this, dbmsg::SNotEditing);
  }
  if (Field->FieldNo() > 0) {
    // Data fields are written by the editing and key layers.
    if (State() == dsCalcFields) PvDatabaseError(this, dbmsg::SNotEditing);
    NotSupportedYet("Editing");
  }
  if (State() == dsSetKey) NotSupportedYet("Key editing");
  TRecordBuffer b = nullptr;
  if (!GetStateBuffer(b)) return;
  uint8_t* q = b + FRecordSize + Field->Offset();
  q[0] = Buffer != nullptr ? 1 : 0;
  if (Buffer != nullptr) std::memcpy(q + 1, Buffer, static_cast<size_t>(Field->DataSize()));
  if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

void TPvDrmDataSet::PvInternalRefresh() {
  THourGlass hourglass(GetDBSession());
  // Nothing to do when the cursor stands on no record.
  (void)RareRefreshCurRecord(FHandle);
}

void TPvDrmDataSet::PvInternalPost() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalCancel() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalAddRecord(TRecordBuffer Buffer, bool Append) {
  (void)Buffer;
  (void)Append;
  NotSupportedYet("Editing");
}
void TPvDrmDataSet::PvInternalInsert() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalEdit() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalDelete() { NotSupportedYet("Editing"); }

}  // namespace dac
