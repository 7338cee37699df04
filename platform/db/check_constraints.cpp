#include "platform/db/check_constraints.h"

namespace dac {

void TCheckConstraint::SetCustomConstraint(const std::string& Value) {
  FCustomConstraint = Value;
  Changed(false);
}

void TCheckConstraint::SetErrorMessage(const std::string& Value) {
  FErrorMessage = Value;
  Changed(false);
}

void TCheckConstraint::SetImportedConstraint(const std::string& Value) {
  FImportedConstraint = Value;
  Changed(false);
}

void TCheckConstraint::Assign(TPersistent* Source) {
  if (auto* c = dynamic_cast<TCheckConstraint*>(Source)) {
    FCustomConstraint = c->FCustomConstraint;
    FErrorMessage = c->FErrorMessage;
    FFromDictionary = c->FFromDictionary;
    FImportedConstraint = c->FImportedConstraint;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(Source);
}

std::string TCheckConstraint::GetDisplayName() const {
  if (!FCustomConstraint.empty()) return FCustomConstraint;
  if (!FImportedConstraint.empty()) return FImportedConstraint;
  return TCollectionItem::GetDisplayName();
}

TCheckConstraints::TCheckConstraints(TPersistent* AOwner)
    : TOwnedCollection(AOwner, ItemClass<TCheckConstraint>()) {}

}  // namespace dac
