#include "platform/rtl/collection.h"

#include <algorithm>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/text.h"

namespace dac {

// ---------------------------------------------------------------------------
// TCollectionItem

TCollectionItem::~TCollectionItem() {
  if (FCollection != nullptr) FCollection->RemoveItem(this, false);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (Value == FCollection) return;
  if (FCollection != nullptr) FCollection->RemoveItem(this, true);
  if (Value != nullptr) Value->InsertItem(this);
}

int32_t TCollectionItem::Index() const {
  if (FCollection == nullptr) return -1;
  const auto& items = FCollection->FItems;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int32_t>(it - items.begin());
}

void TCollectionItem::SetIndex(int32_t Value) {
  int32_t cur = Index();
  if (cur < 0 || cur == Value) return;
  auto& items = FCollection->FItems;
  if (Value < 0 || Value >= static_cast<int32_t>(items.size())) ListIndexError(Value);
  items.erase(items.begin() + cur);
  items.insert(items.begin() + Value, this);
  Changed(true);
}

void TCollectionItem::SetDisplayName(const std::string& Value) {
  (void)Value;
  Changed(false);
}

TPersistent* TCollectionItem::GetOwner() { return FCollection; }

std::string TCollectionItem::GetNamePath() {
  if (FCollection == nullptr) return ClassName();
  return FCollection->GetNamePath() + "[" + IntToStr(Index()) + "]";
}

void TCollectionItem::BeforeDestruction() { SetCollection(nullptr); }

std::string TCollectionItem::GetDisplayName() const { return ClassName(); }

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection == nullptr || FCollection->UpdateCount() != 0) return;
  FCollection->Update(AllItems ? nullptr : this);
}

// ---------------------------------------------------------------------------
// TCollection

TCollection::TCollection(TCollectionItemClass AItemClass) : FItemClass(std::move(AItemClass)) {}

TCollection::~TCollection() {
  while (!FItems.empty()) {
    TCollectionItem* item = FItems.back();
    FItems.pop_back();
    item->FCollection = nullptr;
    CleanupStep([item] { item->Free(); });
  }
}

void TCollection::SetItems(int32_t Index, TCollectionItem* Value) { Items(Index)->Assign(Value); }

TCollectionItem* TCollection::Add() {
  if (!FItemClass) throw EInvalidOperation("The collection has no item class");
  std::unique_ptr<TCollectionItem> item = FItemClass();
  if (!item) throw EInvalidOperation("The collection's item class made no item");
  TCollectionItem* p = item.get();
  Adopt(std::move(item));
  return p;
}

TCollectionItem* TCollection::Insert(int32_t Index) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  return item;
}

void TCollection::Adopt(std::unique_ptr<TCollectionItem> Item) {
  TCollectionItem* p = Item.release();
  // A Notify that raises must not leave a half-added item behind.
  Finally freeOnFailure([p] { p->Free(); });
  InsertItem(p);
  freeOnFailure.Dismiss();
  p->AfterConstruction();
}

void TCollection::Delete(int32_t Index) {
  TCollectionItem* item = Items(Index);
  Notify(item, cnDeleting);
  item->Free();
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  Finally endUpdate([this] { EndUpdate(); });
  auto freeLast = [this] {
    TCollectionItem* item = FItems.back();
    Finally leave([this, item] {
      if (!FItems.empty() && FItems.back() == item) FItems.pop_back();
    });
    item->Free();
  };
  // When one item raises, the others are still freed and the first failure
  // is passed on.
  {
    Finally rest([&] {
      while (!FItems.empty()) CleanupStep(freeLast);
    });
    while (!FItems.empty()) freeLast();
  }
  endUpdate.Run();
}

TCollectionItem* TCollection::FindItemID(int32_t ID) const {
  for (TCollectionItem* item : FItems) {
    if (item->FID == ID) return item;
  }
  return nullptr;
}

void TCollection::Exchange(int32_t Index1, int32_t Index2) {
  if (Index1 < 0 || Index1 >= Count()) ListIndexError(Index1);
  if (Index2 < 0 || Index2 >= Count()) ListIndexError(Index2);
  std::swap(FItems[static_cast<size_t>(Index1)], FItems[static_cast<size_t>(Index2)]);
  Changed();
}

void TCollection::BeginUpdate() { ++FUpdateCount; }

void TCollection::EndUpdate() {
  if (FUpdateCount <= 0) return;
  --FUpdateCount;
  if (FUpdateCount == 0) Changed();
}

void TCollection::Assign(TPersistent* Source) {
  auto* source = dynamic_cast<TCollection*>(Source);
  if (source == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (source == this) return;  // clearing first would lose the items
  BeginUpdate();
  Finally endUpdate([this] { EndUpdate(); });
  Clear();
  for (TCollectionItem* item : source->FItems) Add()->Assign(item);
  endUpdate.Run();
}

std::string TCollection::GetNamePath() {
  TPersistent* owner = GetOwner();
  return owner == nullptr ? ClassName() : owner->GetNamePath();
}

void TCollection::Update(TCollectionItem* Item) { (void)Item; }

void TCollection::Notify(TCollectionItem* Item, TCollectionNotification Action) {
  (void)Item;
  (void)Action;
}

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* Item) {
  FItems.push_back(Item);
  Item->FCollection = this;
  Item->FID = FNextID++;
  SetItemName(Item);
  Notify(Item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item, bool Notifying) {
  // The item leaves the list even when Notify raises: it may be about to be
  // deleted.
  RunAll(
      [&] {
        if (Notifying) Notify(Item, cnExtracting);
      },
      [&] {
        auto it = std::find(FItems.begin(), FItems.end(), Item);
        if (it != FItems.end()) FItems.erase(it);
        Item->FCollection = nullptr;
      },
      [&] {
        if (Notifying) Changed();
      });
}

}  // namespace dac
