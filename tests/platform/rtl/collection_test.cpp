#include "platform/rtl/collection.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/scope_guard.h"

namespace dac {
namespace {

class TNamedItem : public TCollectionItem {
 public:
  TNamedItem() = default;
  explicit TNamedItem(std::string name) : FName(std::move(name)) {}
  void Assign(TPersistent* source) override {
    if (auto* s = dynamic_cast<TNamedItem*>(source)) {
      FName = s->FName;
      return;
    }
    TCollectionItem::Assign(source);
  }
  std::string FName;

 protected:
  std::string GetDisplayName() const override { return FName.empty() ? TCollectionItem::GetDisplayName() : FName; }
};

// Records what the collection reports.
class TLoggedCollection : public TCollection {
 public:
  TLoggedCollection() : TCollection(ItemClass<TNamedItem>()) {}
  void Update(TCollectionItem* item) override { log.push_back(item ? "update:" + item->DisplayName() : "update:all"); }
  void Notify(TCollectionItem* item, TCollectionNotification action) override {
    static const char* names[] = {"added", "extracting", "deleting"};
    log.push_back(std::string(names[action]) + ":" + std::to_string(item->ID()));
    if (action == cnExtracting && item->ID() >= failExtractingFrom)
      throw EInvalidOperation("cannot extract " + std::to_string(item->ID()));
  }
  std::vector<std::string> log;
  int32_t failExtractingFrom = INT32_MAX;
};

TNamedItem* Named(TCollection& c, const std::string& name) {
  auto* item = static_cast<TNamedItem*>(c.Add());
  item->FName = name;
  return item;
}

TEST(CollectionTest, IdsOnlyIncreaseAndFindItemID) {
  TLoggedCollection c;
  Named(c, "a");
  Named(c, "b");
  Named(c, "c");
  c.Delete(2);
  TNamedItem* d = Named(c, "d");
  EXPECT_EQ(d->ID(), 3);  // the freed id 2 is not reused
  EXPECT_EQ(c.FindItemID(2), nullptr);
  EXPECT_EQ(c.FindItemID(3), d);
  EXPECT_EQ(d->Index(), 2);
  c.Items(0)->Free();
  EXPECT_EQ(d->Index(), 1);
  EXPECT_EQ(c.FindItemID(0), nullptr);
  TCollectionItem* first = c.Insert(0);
  EXPECT_EQ(first->ID(), 4);
  EXPECT_EQ(c.Items(0), first);
  EXPECT_EQ(first->Collection(), &c);
  EXPECT_EQ(first->GetOwner(), &c);
  EXPECT_EQ(first->DisplayName(), "TNamedItem");
  try {
    c.Items(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index (3) out of bounds");
  }
  EXPECT_THROW(c.Delete(-1), EListError);
  EXPECT_THROW(first->SetIndex(3), EListError);
  first->SetIndex(2);
  EXPECT_EQ(c.Items(2), first);
}

TEST(CollectionTest, NotificationsAndUpdateBrackets) {
  TLoggedCollection c;
  Named(c, "a");
  Named(c, "b");
  EXPECT_EQ(c.log, (std::vector<std::string>{"added:0", "update:all", "added:1", "update:all"}));
  c.log.clear();
  c.Delete(0);
  EXPECT_EQ(c.log, (std::vector<std::string>{"deleting:0", "extracting:0", "update:all"}));
  c.log.clear();
  c.Items(0)->SetDisplayName("x");  // an item's own change names the item
  EXPECT_EQ(c.log, (std::vector<std::string>{"update:b"}));
  c.log.clear();
  c.BeginUpdate();
  c.BeginUpdate();
  Named(c, "c");
  c.Clear();
  c.EndUpdate();
  EXPECT_EQ(c.log, (std::vector<std::string>{"added:2", "extracting:2", "extracting:1"}));
  c.EndUpdate();
  EXPECT_EQ(c.log.back(), "update:all");
  EXPECT_EQ(c.Count(), 0);
}

// Clear frees every item even when extracting some of them raises, closes
// its update bracket, and passes the first failure on.
TEST(CollectionTest, ClearGoesOnPastFailingItems) {
  TLoggedCollection c;
  for (const char* name : {"a", "b", "c", "d"}) Named(c, name);
  c.failExtractingFrom = 2;
  c.log.clear();
  TCleanupFailureHandler previous = SetCleanupFailureHandler([](std::exception_ptr) {});
  try {
    c.Clear();
    FAIL() << "the failure must reach the caller";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "cannot extract 3");
  }
  SetCleanupFailureHandler(std::move(previous));
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(c.UpdateCount(), 0);
  EXPECT_EQ(c.log, (std::vector<std::string>{"extracting:3", "extracting:2", "extracting:1", "extracting:0",
                                             "update:all"}));
}

TEST(CollectionTest, AssignCopiesItemsAndOwnership) {
  TLoggedCollection src;
  Named(src, "a");
  Named(src, "b");
  TLoggedCollection dst;
  Named(dst, "old");
  dst.log.clear();
  dst.Assign(&src);
  ASSERT_EQ(dst.Count(), 2);
  EXPECT_EQ(static_cast<TNamedItem*>(dst.Items(1))->FName, "b");
  EXPECT_NE(dst.Items(1), src.Items(1));
  EXPECT_EQ(std::count(dst.log.begin(), dst.log.end(), "update:all"), 1);  // one change for the lot
  dst.Assign(&dst);
  EXPECT_EQ(dst.Count(), 2);

  // An item moved out belongs to the caller until it joins a collection.
  TCollectionItem* moved = src.Items(0);
  moved->SetCollection(nullptr);
  EXPECT_EQ(src.Count(), 1);
  moved->SetCollection(&dst);
  EXPECT_EQ(dst.Count(), 3);
  EXPECT_EQ(moved->ID(), 3);  // a new id in the new collection

  TNamedItem* built = src.AddItem<TNamedItem>("built");
  EXPECT_EQ(built->Collection(), &src);

  TOwnedCollection owned(nullptr, ItemClass<TNamedItem>());
  EXPECT_EQ(owned.Owner(), nullptr);
  TNamedItem owner;
  TOwnedCollection owned2(&owner, ItemClass<TNamedItem>());
  EXPECT_EQ(owned2.Owner(), &owner);
}

TEST(ListTest, IndexesAndExtract) {
  int a = 1, b = 2, c = 3;
  TList<int*> l;
  l.Add(&a);
  l.Add(&b);
  l.Insert(2, &c);
  EXPECT_EQ(l.IndexOf(&c), 2);
  EXPECT_EQ(l.Extract(&b), &b);
  EXPECT_EQ(l.Extract(&b), nullptr);
  EXPECT_EQ(l.Count(), 2);
  try {
    l.Items(2);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index (2) out of bounds");
  }
  EXPECT_THROW(l.Insert(3, &a), EListError);
  EXPECT_THROW(l.Delete(-1), EListError);
  EXPECT_EQ(l.Remove(&a), 0);
  EXPECT_EQ(l.Remove(&a), -1);
  l.Move(0, 0);
  EXPECT_EQ(l.First(), &c);

  TList<std::unique_ptr<int>> owned;  // a list of unique_ptr owns its items
  owned.Add(std::make_unique<int>(5));
  owned.Add(std::make_unique<int>(6));
  owned.Exchange(0, 1);
  EXPECT_EQ(*owned.Items(0), 6);
  owned.Delete(0);
  EXPECT_EQ(*owned.Last(), 5);
}

TEST(BitsTest, OpenBitAndGrowth) {
  TBits b;
  EXPECT_EQ(b.OpenBit(), 0);
  for (int i = 0; i < 70; ++i) b.SetOn(i);
  EXPECT_EQ(b.Size(), 70);
  EXPECT_EQ(b.OpenBit(), 70);  // all set: the size
  b.Clear(64);
  EXPECT_EQ(b.OpenBit(), 64);
  b.Clear(3);
  EXPECT_EQ(b.OpenBit(), 3);
  EXPECT_FALSE(b.Bits(1000));  // beyond the size reads clear
  EXPECT_THROW(b.Bits(-1), EBitsError);
  b.SetSize(2);
  b.SetSize(10);
  EXPECT_FALSE(b.Bits(5));  // shrinking forgets the bits
  EXPECT_EQ(b.OpenBit(), 2);
}

}  // namespace
}  // namespace dac
