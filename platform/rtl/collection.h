#pragma once
// TCollection: an ordered set of TCollectionItem objects that the collection
// owns. TOwnedCollection adds an owner for GetOwner.
//
// Item class: a collection makes its items through its item class, a factory
// given to the constructor (ItemClass<TMyItem>() for a default-constructible
// item). Items are created in two phases like components: the factory builds
// the item with no collection, the collection inserts it (the item receives
// its ID, Notify(cnAdded), change report) and then the item's
// AfterConstruction runs. AddItem<T>(args...) does the same for an item whose
// constructor takes arguments.
//
// Ending an item: Delete(i), Clear, or item->Free(); the item leaves the
// collection with Notify(cnExtracting) and a change report. The collection's
// destructor deletes the items that remain without notifications.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/rtl/lists.h"
#include "platform/rtl/object.h"

namespace dac {

class TCollection;

enum TCollectionNotification : uint8_t { cnAdded, cnExtracting, cnDeleting };

class TCollectionItem : public TPersistent {
 public:
  TCollectionItem() = default;
  // An item still in a collection (deleted with `delete` rather than Free)
  // is taken out silently.
  ~TCollectionItem() override;

  TCollection* Collection() const { return FCollection; }
  // Moves the item into Value (null: out of any collection, the caller then
  // owns it). The item gets a new ID in its new collection.
  virtual void SetCollection(TCollection* Value);
  // Unique in the collection; IDs only increase.
  int32_t ID() const { return FID; }
  // Position in the collection, -1 without one.
  int32_t Index() const;
  // Moves the item to Value within its collection (EListError when out of
  // range).
  virtual void SetIndex(int32_t Value);
  std::string DisplayName() const { return GetDisplayName(); }
  virtual void SetDisplayName(const std::string& Value);
  TPersistent* GetOwner() override;
  std::string GetNamePath() override;

  // Leaves the collection (cnExtracting) before the object is deleted.
  void BeforeDestruction() override;

 protected:
  // The name shown for the item; the base gives the class name.
  virtual std::string GetDisplayName() const;
  // Reports a change of this item (AllItems: of the whole collection) unless
  // the collection is inside an update bracket.
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int32_t FID = 0;
};

// Builds one item of a collection's item class.
using TCollectionItemClass = std::function<std::unique_ptr<TCollectionItem>()>;

template <class Item>
TCollectionItemClass ItemClass() {
  static_assert(std::is_base_of_v<TCollectionItem, Item>, "items derive from TCollectionItem");
  return [] { return std::unique_ptr<TCollectionItem>(std::make_unique<Item>()); };
}

class TCollection : public TPersistent {
 public:
  explicit TCollection(TCollectionItemClass AItemClass);
  // Deletes the remaining items without notifications.
  ~TCollection() override;

  const TCollectionItemClass& GetItemClass() const { return FItemClass; }
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // EListError "List index (%d) out of bounds" for a bad index.
  TCollectionItem* Items(int32_t Index) const {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return FItems[static_cast<size_t>(Index)];
  }
  // Assigns Value to the item at Index.
  void SetItems(int32_t Index, TCollectionItem* Value);
  TPersistent* Owner() { return GetOwner(); }

  // A new item of the item class at the end.
  TCollectionItem* Add();
  // A new item of the item class at Index (0..Count).
  TCollectionItem* Insert(int32_t Index);
  // A new item built as Item(args...), added at the end.
  template <class Item, class... A>
  Item* AddItem(A&&... args) {
    static_assert(std::is_base_of_v<TCollectionItem, Item>, "items derive from TCollectionItem");
    auto item = std::make_unique<Item>(std::forward<A>(args)...);
    Item* p = item.get();
    Adopt(std::move(item));
    return p;
  }
  // Notify(cnDeleting), then frees the item (which leaves with cnExtracting).
  void Delete(int32_t Index);
  // Frees every item, last first, inside an update bracket.
  virtual void Clear();
  // The item with that ID, null if none.
  TCollectionItem* FindItemID(int32_t ID) const;
  void Exchange(int32_t Index1, int32_t Index2);

  // Nested brackets; the outermost EndUpdate reports one change (Update(null)).
  virtual void BeginUpdate();
  virtual void EndUpdate();
  int32_t UpdateCount() const { return FUpdateCount; }

  // From a collection: clears, then adds one item per source item and assigns
  // it, inside an update bracket. Other sources go to the base.
  void Assign(TPersistent* Source) override;
  std::string GetNamePath() override;

  // A change: Item is the changed item, or null for the whole collection.
  // Called only outside update brackets. The base does nothing.
  virtual void Update(TCollectionItem* Item);
  // An item was added, is being extracted or deleted. The base does nothing.
  virtual void Notify(TCollectionItem* Item, TCollectionNotification Action);

 protected:
  // Reports a change of the whole collection unless inside an update bracket.
  void Changed();
  // Called when an item enters; the base does nothing.
  virtual void SetItemName(TCollectionItem* Item) { (void)Item; }
  // Next ID to hand out.
  int32_t NextID() const { return FNextID; }

 private:
  friend class TCollectionItem;
  void Adopt(std::unique_ptr<TCollectionItem> Item);
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item, bool Notifying);

  TCollectionItemClass FItemClass;
  std::vector<TCollectionItem*> FItems;  // owned
  int32_t FUpdateCount = 0;
  int32_t FNextID = 0;
};

// A collection whose GetOwner is a given persistent object (often a
// component).
class TOwnedCollection : public TCollection {
 public:
  TOwnedCollection(TPersistent* AOwner, TCollectionItemClass AItemClass)
      : TCollection(std::move(AItemClass)), FOwner(AOwner) {}
  TPersistent* GetOwner() override { return FOwner; }

 private:
  TPersistent* FOwner = nullptr;
};

}  // namespace dac
