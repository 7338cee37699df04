#include "sessions/alias_list.h"

namespace dac {

int32_t TAliasList::IndexOfAlias(const std::string& Name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->Name == Name) return static_cast<int32_t>(i);
  return -1;
}

TStrings* TAliasList::FindAliasParams(const std::string& Name) const {
  int32_t i = IndexOfAlias(Name);
  return i < 0 ? nullptr : &Items(i)->Params;
}

void TAliasList::SetAliasParams(const std::string& Name, TStrings* Params) {
  if (TStrings* p = FindAliasParams(Name)) p->Assign(Params);
}

TAliasItem* TAliasList::Add(const std::string& Name, TStrings* Params, bool IsAdd) {
  auto item = std::make_unique<TAliasItem>();
  item->Name = Name;
  if (Params != nullptr) item->Params.Assign(Params);
  item->IsAdd = IsAdd;
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

void TAliasList::Delete(int32_t Index) {
  if (Index < 0 || Index >= Count()) return;
  FItems.erase(FItems.begin() + Index);
}

}  // namespace dac
