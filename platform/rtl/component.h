#pragma once
// TComponent: an object with an owner, a name and owned components.
//
// Lifetime (two-phase):
//   Creation   - Create<T>(owner, args...) constructs T with no owner, inserts
//                it into owner (siblings receive opInsert), then calls the
//                virtual AfterConstruction(). Work that must see the owner or
//                dispatch to a descendant belongs in AfterConstruction.
//   Destruction- a component ends only through Free() (or its owner). Free()
//                calls BeforeDestruction(), which for a component does, in order:
//                  1. Destroying()  - marks this component and everything it
//                                     owns csDestroying;
//                  2. Shutdown()    - the per-class clean-up hook (below);
//                  3. opRemove to every free-notified component;
//                  4. DestroyComponents() - owned components freed last created
//                                     first;
//                  5. the owner's RemoveComponent (siblings receive opRemove).
//                Then the object is deleted. C++ destructors only release memory.
//
// Shutdown pattern: a class that must do work when it ends (close, disconnect,
// cancel) overrides Shutdown(), does its own work and calls its base class's
// Shutdown() LAST:
//     void TMyDataSet::Shutdown() { Close(); TDataSet::Shutdown(); }
// so that the most-derived class shuts down first. If a Shutdown raises, the
// remaining steps still run, the object is still deleted and the first
// exception is passed on by Free().

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/rtl/object.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/tset.h"

namespace dac {

enum TOperation : uint8_t { opInsert, opRemove };

enum TComponentStateItem : uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;

// True when s is a non-empty identifier: a letter or '_' followed by letters,
// digits or '_' (ASCII).
bool IsValidIdent(std::string_view s);

class TComponent : public TPersistent {
 public:
  TComponent() = default;
  ~TComponent() override;

  // --- ownership ----------------------------------------------------------
  TComponent* Owner() const { return FOwner; }
  TPersistent* GetOwner() override { return FOwner; }
  std::string GetNamePath() override { return FName; }
  int32_t ComponentCount() const { return static_cast<int32_t>(FComponents.size()); }
  // Raises EListError "List index (%d) out of bounds" for a bad index.
  TComponent* Components(int32_t Index) const;
  // Position in the owner's list, -1 without owner.
  int32_t ComponentIndex() const;
  void SetComponentIndex(int32_t Value);
  // Owned component of that name (ignoring case); null when absent or when
  // the name is empty.
  TComponent* FindComponent(std::string_view AName) const;
  // Takes AComponent into this component's list (removing it from a previous
  // owner first), then sends opInsert through Notification. The component's
  // name must be unique among its new siblings.
  void InsertComponent(TComponent* AComponent);
  // Sends opRemove through Notification, then takes AComponent out of the
  // list. Nothing happens when AComponent is not owned by this component.
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, last created first.
  void DestroyComponents();

  // --- naming -------------------------------------------------------------
  const std::string& Name() const { return FName; }
  // An empty name is allowed. Otherwise it must be an identifier ("\"%s\" is
  // not a valid component name") and unique among the siblings ignoring case
  // ("A component named %s already exists"); both raise EComponentError.
  virtual void SetName(const std::string& NewName);
  int64_t Tag() const { return FTag; }
  void SetTag(int64_t Value) { FTag = Value; }

  // --- notifications ------------------------------------------------------
  // AComponent was inserted or is being removed. The base drops AComponent
  // from the free-notification links on opRemove and passes the call to
  // every owned component, last first. Overrides call the base.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Links this component and AComponent both ways: whichever is freed first
  // sends opRemove to the other (an owner already hears of its components'
  // end through RemoveComponent, so it is not told twice).
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // --- state --------------------------------------------------------------
  TComponentState ComponentState() const { return FComponentState; }
  // Called once loading ends (see EndLoading); clears csLoading. Overrides
  // call the base FIRST, then apply their stored values.
  virtual void Loaded();
  // Sets csLoading.
  virtual void Loading();
  virtual void Updating();
  virtual void Updated();
  void SetDesigning(bool Value, bool SetChildren = true);
  // Marks this component and everything it owns csDestroying.
  virtual void Destroying();

  // --- lifetime hooks -----------------------------------------------------
  void BeforeDestruction() override;

 protected:
  // Per-class clean-up at destruction; see the pattern at the top.
  virtual void Shutdown() {}
  // Raises when AComponent may not take NewName among this component's
  // owned components. Recurses to the owner while designing.
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName,
                              const std::string& NewName);
  // Called before AComponent is inserted; raise to refuse it.
  virtual void ValidateInsert(TComponent* AComponent);
  // Called on the component about to be inserted into AComponent; the base
  // asks AComponent->ValidateInsert(this).
  virtual void ValidateContainer(TComponent* AComponent);
  // Changes the name without validation.
  void ChangeName(const std::string& NewName) { FName = NewName; }
  void IncludeState(TComponentStateItem Item) { FComponentState.Include(Item); }
  void ExcludeState(TComponentStateItem Item) { FComponentState.Exclude(Item); }

 private:
  friend void BeginLoading(TComponent* Root);
  friend void EndLoading(TComponent* Root);
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void UnlinkFreeNotification(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  int64_t FTag = 0;
  TComponentState FComponentState;
  std::vector<TComponent*> FComponents;     // owned, in creation order
  std::vector<TComponent*> FFreeNotifies;   // not owned, linked both ways
};

// Creates a component: constructs T(args...) with no owner, inserts it into
// owner (when not null), then calls AfterConstruction. If insertion or
// AfterConstruction raises, the new component is freed and the exception
// passed on.
template <class T, class... A>
T* Create(TComponent* owner, A&&... args) {
  static_assert(std::is_base_of_v<TComponent, T>, "Create<T> makes components");
  T* p = new T(std::forward<A>(args)...);
  Finally freeOnFailure([p] { p->Free(); });
  if (owner != nullptr) owner->InsertComponent(p);
  p->AfterConstruction();
  freeOnFailure.Dismiss();
  return p;
}

// Creates an unowned component held by a TFreePtr, which frees it.
template <class T, class... A>
TFreePtr<T> CreateUnowned(A&&... args) {
  return TFreePtr<T>(Create<T>(nullptr, std::forward<A>(args)...));
}

// The root of the application's component tree, process-wide: set by the
// application object when it is made, cleared when it is freed (a root that
// is freed while still set is cleared too, so it never dangles). Null when
// there is no tree.
void SetApplicationRootComponent(TComponent* Root);
TComponent* ApplicationRootComponent();

// Loading brackets for a component tree (root and everything it owns,
// recursively). BeginLoading sets csLoading and csReading; EndLoading clears
// csReading, then calls Loaded() on root and its components in creation
// order (a component before the components it owns), and makes sure
// csLoading is cleared afterwards.
void BeginLoading(TComponent* Root);
void EndLoading(TComponent* Root);

}  // namespace dac
