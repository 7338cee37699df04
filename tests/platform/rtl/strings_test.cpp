#include "platform/rtl/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"

namespace dac {
namespace {

using Lines = std::vector<std::string>;

TEST(StringListTest, SortedDuplicatesAndCase) {
  TStringList l;
  l.SetSorted(true);
  l.Add("pear");
  l.Add("Apple");
  EXPECT_EQ(l.Add("APPLE"), 0);  // dupIgnore, case ignored: the existing index
  l.Add("banana");
  EXPECT_EQ(l.ToVector(), (Lines{"Apple", "banana", "pear"}));
  int32_t i = -1;
  EXPECT_TRUE(l.Find("BANANA", i));
  EXPECT_EQ(i, 1);
  EXPECT_FALSE(l.Find("cherry", i));
  EXPECT_EQ(i, 2);  // where it would go
  EXPECT_EQ(l.IndexOf("PEAR"), 2);
  EXPECT_THROW(l.Insert(0, "x"), EStringListError);
  EXPECT_THROW(l.Put(0, "x"), EStringListError);
  EXPECT_THROW(l.Exchange(0, 1), EStringListError);

  l.SetDuplicates(dupError);
  try {
    l.Add("Pear");
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "String list does not allow duplicates");
  }
  l.SetDuplicates(dupAccept);
  TObject marker;
  l.AddObject("PEAR", &marker);
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.Objects(3), &marker);  // equal lines keep their order of adding

  l.SetCaseSensitive(true);  // re-sorts: upper case first in byte order
  EXPECT_EQ(l.ToVector(), (Lines{"Apple", "PEAR", "banana", "pear"}));
  EXPECT_EQ(l.IndexOf("Pear"), -1);
  EXPECT_EQ(l.IndexOf("pear"), 3);
}

TEST(StringListTest, UnsortedSearchAndIndexErrors) {
  TStringList l;
  l.SetText("b\r\na\nc\rd");
  EXPECT_EQ(l.ToVector(), (Lines{"b", "a", "c", "d"}));
  EXPECT_EQ(l.Text(), "b\na\nc\nd\n");
  int32_t i = 0;
  EXPECT_TRUE(l.Find("A", i));  // unsorted: a linear search, not a wrong binary one
  EXPECT_EQ(i, 1);
  EXPECT_EQ(l.IndexOf("C"), 2);
  try {
    l.Strings(4);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index (4) out of bounds");
  }
  EXPECT_THROW(l.Delete(-1), EListError);
  EXPECT_THROW(l.Insert(5, "x"), EStringListError);
  l.Insert(4, "e");
  l.Move(0, 4);
  EXPECT_EQ(l.ToVector(), (Lines{"a", "c", "d", "e", "b"}));
  l.SetSorted(true);
  EXPECT_EQ(l.ToVector(), (Lines{"a", "b", "c", "d", "e"}));
}

TEST(StringListTest, NameValueLines) {
  TStringList l;
  l.Add("USER NAME=admin");
  l.Add("PATH=c:\\data=x");
  l.Add("novalue");
  EXPECT_EQ(l.Values("user name"), "admin");
  EXPECT_EQ(l.Values("PATH"), "c:\\data=x");
  EXPECT_EQ(l.Names(1), "PATH");
  EXPECT_EQ(l.Names(2), "");
  EXPECT_EQ(l.ValueFromIndex(2), "novalue");
  EXPECT_EQ(l.IndexOfName("novalue"), -1);
  EXPECT_EQ(l.Values("missing"), "");
  l.SetValues("Path", "d:\\");
  EXPECT_EQ(l.Strings(1), "Path=d:\\");
  l.SetValues("BOUND", "TRUE");
  EXPECT_EQ(l.Strings(3), "BOUND=TRUE");
  l.SetValues("user name", "");  // an empty value deletes the line
  EXPECT_EQ(l.IndexOfName("USER NAME"), -1);
  EXPECT_EQ(l.Count(), 3);
  l.SetValues("absent", "");  // nothing to delete, nothing added
  EXPECT_EQ(l.Count(), 3);
}

TEST(StringListTest, UpdateBracketsGiveOneChange) {
  TStringList l;
  int changing = 0;
  int changed = 0;
  l.SetOnChanging([&](TObject* sender) {
    EXPECT_EQ(sender, &l);
    ++changing;
  });
  l.SetOnChange([&](TObject*) { ++changed; });
  l.Add("a");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  l.BeginUpdate();
  l.BeginUpdate();
  l.Clear();
  l.Add("x");
  l.Add("y");
  l.EndUpdate();
  EXPECT_EQ(changed, 1);
  l.EndUpdate();
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
  l.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(changed, 2);
  l.SetText("1\n2\n3");
  EXPECT_EQ(changed, 3);

  // A refused change leaves the list as it was and no bracket open.
  l.SetOnChanging([](TObject*) { throw EDatabaseError("refused"); });
  EXPECT_THROW(l.Add("z"), EDatabaseError);
  EXPECT_THROW(l.BeginUpdate(), EDatabaseError);
  EXPECT_EQ(l.UpdateCount(), 0);
  EXPECT_EQ(l.Count(), 3);
  // A failing OnChange at the end of a bracketed operation reaches the caller.
  l.SetOnChanging(nullptr);
  l.SetOnChange([](TObject*) { throw EDatabaseError("change failed"); });
  EXPECT_THROW(l.SetText("a"), EDatabaseError);
  EXPECT_EQ(l.UpdateCount(), 0);
}

class TCounted : public TObject {
 public:
  explicit TCounted(int& alive) : FAlive(alive) { ++FAlive; }
  ~TCounted() override { --FAlive; }

 private:
  int& FAlive;
};

TEST(StringListTest, AssignAndOwnedObjects) {
  int alive = 0;
  {
    TStringList src;
    src.SetOwnsObjects(true);
    src.AddObject("b", new TCounted(alive));
    src.AddObject("a", new TCounted(alive));
    src.AddObject("b", new TCounted(alive));
    TStringList dst;
    dst.SetSorted(true);
    dst.SetDuplicates(dupIgnore);
    dst.Add("old");
    dst.Assign(&src);
    EXPECT_TRUE(dst.Sorted());  // keeps its own settings
    EXPECT_EQ(dst.ToVector(), (Lines{"a", "b"}));
    EXPECT_EQ(dst.Objects(0), src.Objects(1));
    dst.Assign(&dst);  // self-assignment keeps the lines
    EXPECT_EQ(dst.Count(), 2);
    EXPECT_THROW(dst.Assign(nullptr), EConvertError);

    src.Delete(0);
    EXPECT_EQ(alive, 2);
    src.PutObject(0, new TCounted(alive));  // the replaced object is freed
    EXPECT_EQ(alive, 2);
    src.Move(0, 1);  // moving keeps the object alive
    EXPECT_EQ(alive, 2);
  }
  EXPECT_EQ(alive, 0);
}

TEST(StringListTest, CommaTextRoundTrip) {
  TStringList l;
  l.Add("plain");
  l.Add("with space");
  l.Add("say \"hi\"");
  l.Add("");
  l.Add("a,b");
  std::string text = l.CommaText();
  EXPECT_EQ(text, "plain,\"with space\",\"say \"\"hi\"\"\",\"\",\"a,b\"");
  TStringList back;
  back.SetCommaText(text);
  EXPECT_TRUE(back.Equals(&l));
  back.SetCommaText(" x  y,z, ");
  EXPECT_EQ(back.ToVector(), (Lines{"x", "y", "z", ""}));
  back.SetCommaText(",,\"q\"r");
  EXPECT_EQ(back.ToVector(), (Lines{"", "", "qr"}));
  back.SetCommaText("   ");
  EXPECT_EQ(back.Count(), 0);
}

TEST(StringListTest, StreamRoundTrip) {
  TStringList l;
  l.SetText("one\r\ntwo");
  TMemoryStream m;
  l.SaveToStream(&m);
  EXPECT_EQ(m.Size(), 8);
  m.SetPosition(0);
  TStringList back;
  back.LoadFromStream(&m);
  EXPECT_EQ(back.ToVector(), (Lines{"one", "two"}));
}

}  // namespace
}  // namespace dac
