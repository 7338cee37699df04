#pragma once
// TCheckConstraint(s): record-level check constraints of a dataset, each a
// filter-language condition with the message shown when it fails.

#include <cstdint>
#include <string>

#include "platform/rtl/collection.h"

namespace dac {

class TCheckConstraint : public TCollectionItem {
 public:
  TCheckConstraint() = default;

  const std::string& CustomConstraint() const { return FCustomConstraint; }
  void SetCustomConstraint(const std::string& Value);
  const std::string& ErrorMessage() const { return FErrorMessage; }
  void SetErrorMessage(const std::string& Value);
  bool FromDictionary() const { return FFromDictionary; }
  void SetFromDictionary(bool Value) { FFromDictionary = Value; }
  const std::string& ImportedConstraint() const { return FImportedConstraint; }
  void SetImportedConstraint(const std::string& Value);

  void Assign(TPersistent* Source) override;

 protected:
  std::string GetDisplayName() const override;

 private:
  std::string FCustomConstraint;
  std::string FErrorMessage;
  bool FFromDictionary = false;
  std::string FImportedConstraint;
};

class TCheckConstraints : public TOwnedCollection {
 public:
  explicit TCheckConstraints(TPersistent* AOwner);
  TCheckConstraint* Add() { return static_cast<TCheckConstraint*>(TCollection::Add()); }
  TCheckConstraint* Items(int32_t Index) const {
    return static_cast<TCheckConstraint*>(TCollection::Items(Index));
  }
  TCheckConstraint* operator[](int32_t Index) const { return Items(Index); }
};

}  // namespace dac
