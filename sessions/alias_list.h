#pragma once
// Alias definitions a session keeps in memory: the session-only aliases and
// the definitions waiting to be written to the engine.

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/strings.h"

namespace dac {

class TAliasItem {
 public:
  std::string Name;
  TStringList Params;
  // The definition is new rather than a change.
  bool IsAdd = false;
};

class TAliasList {
 public:
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TAliasItem* Items(int32_t Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
  // Position of the first item whose Name equals Name exactly, -1 when none.
  int32_t IndexOfAlias(const std::string& Name) const;
  // The parameters of that item, or null.
  TStrings* FindAliasParams(const std::string& Name) const;
  // Replaces that item's parameters with a copy of Params (nothing when
  // absent).
  void SetAliasParams(const std::string& Name, TStrings* Params);
  TAliasItem* Add(const std::string& Name, TStrings* Params, bool IsAdd);
  void Delete(int32_t Index);
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TAliasItem>> FItems;
};

}  // namespace dac
