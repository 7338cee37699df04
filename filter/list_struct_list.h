#pragma once
// TListStructList: the entries of an evaluated IN list, in list order. The
// list owns its entries.

#include <cstdint>
#include <utility>
#include <vector>

#include "filter/list_struct.h"

namespace dac {

class TListStructList {
 public:
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  const TListStruct& Items(int32_t Index) const { return FItems.at(static_cast<size_t>(Index)); }
  void Add(TListStruct Item) { FItems.push_back(std::move(Item)); }
  std::vector<TListStruct>::const_iterator begin() const { return FItems.begin(); }
  std::vector<TListStruct>::const_iterator end() const { return FItems.end(); }

 private:
  std::vector<TListStruct> FItems;
};

}  // namespace dac
