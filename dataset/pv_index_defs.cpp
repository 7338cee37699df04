#include "dataset/pv_index_defs.h"

#include <string_view>

#include "errors/checks.h"
#include "errors/messages.h"
#include "platform/db/dataset.h"
#include "platform/rtl/sysutils.h"

namespace dac {

TPvIndexDefs::TPvIndexDefs(TDataSet* ADataSet) : TIndexDefs(ADataSet) {}

TIndexDef* TPvIndexDefs::GetIndexForFields(const std::string& Fields, bool CaseInsensitive) {
  Update();
  auto takesPart = [CaseInsensitive](const TIndexDef* d) {
    if (d->Options().Contains(ixExpression)) return false;
    return !CaseInsensitive || d->Options().Contains(ixCaseInsensitive);
  };
  for (int32_t i = 0; i < Count(); ++i) {
    TIndexDef* d = Items(i);
    if (takesPart(d) && AnsiSameText(d->Fields(), Fields)) return d;
  }
  // An index whose leading fields are the ones asked for also serves.
  const size_t len = Fields.size();
  for (int32_t i = 0; i < Count(); ++i) {
    TIndexDef* d = Items(i);
    if (!takesPart(d)) continue;
    const std::string& f = d->Fields();
    if (f.size() < len || (f.size() > len && f[len] != ';')) continue;
    if (AnsiSameText(std::string_view(f).substr(0, len), Fields)) return d;
  }
  return nullptr;
}

TIndexDef* TPvIndexDefs::FindIndexForFields(const std::string& Fields) {
  TIndexDef* d = GetIndexForFields(Fields, false);
  if (d == nullptr) PvDatabaseErrorFmt(DataSet(), SNoIndexForFields, Fields);
  return d;
}

}  // namespace dac
