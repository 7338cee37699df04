#include "platform/rtl/component.h"

#include <algorithm>
#include <atomic>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/text.h"

namespace dac {

namespace {

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

constinit std::atomic<TComponent*> gApplicationRoot{nullptr};

void EraseOne(std::vector<TComponent*>& list, TComponent* c) {
  auto it = std::find(list.begin(), list.end(), c);
  if (it != list.end()) list.erase(it);
}

}  // namespace

bool IsValidIdent(std::string_view s) {
  if (s.empty() || !IsIdentStart(s[0])) return false;
  return std::all_of(s.begin() + 1, s.end(), IsIdentChar);
}

TComponent::~TComponent() {
  // Normally Free() has already emptied both lists and left the owner. A
  // component deleted directly still must not leave dangling pointers behind.
  while (!FFreeNotifies.empty()) {
    TComponent* c = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    c->UnlinkFreeNotification(this);
  }
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    Remove(c);
    CleanupStep([c] { c->Free(); });
  }
  if (FOwner != nullptr) FOwner->Remove(this);
}

TComponent* TComponent::Components(int32_t Index) const {
  if (Index < 0 || Index >= ComponentCount()) ListIndexError(Index);
  return FComponents[static_cast<size_t>(Index)];
}

int32_t TComponent::ComponentIndex() const {
  if (FOwner == nullptr) return -1;
  const auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

void TComponent::SetComponentIndex(int32_t Value) {
  if (FOwner == nullptr) return;
  auto& list = FOwner->FComponents;
  int32_t cur = ComponentIndex();
  if (cur < 0) return;
  int32_t last = static_cast<int32_t>(list.size()) - 1;
  Value = std::clamp(Value, 0, last);
  if (Value == cur) return;
  list.erase(list.begin() + cur);
  list.insert(list.begin() + Value, this);
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents) {
    if (SameText(c->FName, AName)) return c;
  }
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner == this) return;
  for (TComponent* o = this; o != nullptr; o = o->FOwner) {
    if (o == AComponent) throw EComponentError("A component cannot own itself");
  }
  AComponent->ValidateContainer(this);
  ValidateRename(AComponent, std::string(), AComponent->FName);
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  if (FComponentState.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner != this) return;
  // The component leaves the list even when a notification handler raises:
  // the list must never keep a component that is about to be deleted.
  RunAll([&] { Notification(AComponent, opRemove); },
         [&] {
           Remove(AComponent);
           if (!AComponent->FComponentState.Contains(csDestroying)) AComponent->SetDesigning(false);
         });
}

void TComponent::DestroyComponents() {
  // The list is read again for each one: freeing a component may free
  // others. Free() ends with the owner's RemoveComponent, which tells the
  // remaining components so they drop their references to c.
  auto freeLast = [this] {
    TComponent* c = FComponents.back();
    Finally leave([this, c] {
      if (!FComponents.empty() && FComponents.back() == c) FComponents.pop_back();
    });
    c->Free();
  };
  // When one raises, the others are still freed and the first failure is
  // passed on.
  Finally rest([&] {
    while (!FComponents.empty()) CleanupStep(freeLast);
  });
  while (!FComponents.empty()) freeLast();
}

void TComponent::SetName(const std::string& NewName) {
  if (FName == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName)) {
    throw EComponentError(Format("\"%s\" is not a valid component name", NewName));
  }
  if (FOwner != nullptr) {
    FOwner->ValidateRename(this, FName, NewName);
  } else {
    ValidateRename(nullptr, FName, NewName);
  }
  ChangeName(NewName);
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) {
  // Also checked when a named component is inserted (CurName empty): a
  // component must never join siblings that already use its name.
  if (AComponent != nullptr && !NewName.empty() && CompareText(CurName, NewName) != 0) {
    TComponent* other = FindComponent(NewName);
    if (other != nullptr && other != AComponent) {
      throw EComponentError(Format("A component named %s already exists", NewName));
    }
  }
  if (FComponentState.Contains(csDesigning) && FOwner != nullptr) {
    FOwner->ValidateRename(AComponent, CurName, NewName);
  }
}

void TComponent::ValidateInsert(TComponent* AComponent) { (void)AComponent; }

void TComponent::ValidateContainer(TComponent* AComponent) { AComponent->ValidateInsert(this); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  int32_t runner = ComponentCount() - 1;
  while (runner >= 0) {
    FComponents[static_cast<size_t>(runner)]->Notification(AComponent, Operation);
    --runner;
    // A handler may have removed components.
    if (runner >= ComponentCount()) runner = ComponentCount() - 1;
  }
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(AComponent);
    FComponentState.Include(csFreeNotification);
  }
  auto& other = AComponent->FFreeNotifies;
  if (std::find(other.begin(), other.end(), this) == other.end()) {
    other.push_back(this);
    AComponent->FComponentState.Include(csFreeNotification);
  }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  UnlinkFreeNotification(AComponent);
  AComponent->UnlinkFreeNotification(this);
}

void TComponent::UnlinkFreeNotification(TComponent* AComponent) {
  EraseOne(FFreeNotifies, AComponent);
  if (FFreeNotifies.empty()) FComponentState.Exclude(csFreeNotification);
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::Loading() { FComponentState.Include(csLoading); }

void TComponent::Updating() { FComponentState.Include(csUpdating); }

void TComponent::Updated() { FComponentState.Exclude(csUpdating); }

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value) {
    FComponentState.Include(csDesigning);
  } else {
    FComponentState.Exclude(csDesigning);
  }
  if (SetChildren) {
    for (TComponent* c : FComponents) c->SetDesigning(Value, true);
  }
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::BeforeDestruction() {
  // The root of the application is never left pointing at a freed object.
  TComponent* self = this;
  gApplicationRoot.compare_exchange_strong(self, nullptr);
  // Every step runs even when an earlier one raises, so that no list keeps a
  // pointer to this object once it is deleted; the first error is passed on.
  auto notifyLast = [this] {
    TComponent* c = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    c->UnlinkFreeNotification(this);
    if (c != FOwner) c->Notification(this, opRemove);
  };
  auto notifyFreeNotified = [&] {
    Finally rest([&] {
      while (!FFreeNotifies.empty()) CleanupStep(notifyLast);
      FComponentState.Exclude(csFreeNotification);
    });
    while (!FFreeNotifies.empty()) notifyLast();
  };
  auto leaveOwner = [this] {
    if (FOwner == nullptr) return;
    Finally leave([this] {
      if (FOwner != nullptr) FOwner->Remove(this);
    });
    FOwner->RemoveComponent(this);
  };
  RunAll([this] { Destroying(); }, [this] { Shutdown(); }, notifyFreeNotified, [this] { DestroyComponents(); },
         leaveOwner);
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  EraseOne(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}

namespace {

void CollectTree(TComponent* c, std::vector<TComponent*>& out) {
  out.push_back(c);
  for (int32_t i = 0; i < c->ComponentCount(); ++i) CollectTree(c->Components(i), out);
}

}  // namespace

void BeginLoading(TComponent* Root) {
  if (Root == nullptr) return;
  std::vector<TComponent*> tree;
  CollectTree(Root, tree);
  for (TComponent* c : tree) c->FComponentState += TComponentState{csLoading, csReading};
}

void EndLoading(TComponent* Root) {
  if (Root == nullptr) return;
  std::vector<TComponent*> tree;
  CollectTree(Root, tree);
  for (TComponent* c : tree) c->FComponentState.Exclude(csReading);
  // Every component gets its Loaded call and loses csLoading even when one
  // of them raises; the first error is passed on.
  size_t i = 0;
  auto load = [&tree, &i] {
    TComponent* c = tree[i];
    Finally loaded([c] { c->FComponentState.Exclude(csLoading); });
    c->Loaded();
  };
  Finally rest([&] {
    while (++i < tree.size()) CleanupStep(load);
  });
  for (; i < tree.size(); ++i) load();
}

void SetApplicationRootComponent(TComponent* Root) { gApplicationRoot.store(Root); }
TComponent* ApplicationRootComponent() { return gApplicationRoot.load(); }

}  // namespace dac
