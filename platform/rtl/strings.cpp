#include "platform/rtl/strings.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <utility>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/text.h"

namespace dac {

namespace {

constexpr const char* kSortedListError = "Operation not allowed on sorted list";
constexpr const char* kDuplicateString = "String list does not allow duplicates";

// An update bracket: Run() closes it on the normal path, so that an OnChange
// failure reaches the caller; on an exception the guard closes it and the
// first exception is the one passed on.
auto UpdateBracket(TStrings* List) {
  List->BeginUpdate();
  return Finally([List] { List->EndUpdate(); });
}

}  // namespace

// ---------------------------------------------------------------------------
// TStrings

void TStrings::IndexError(int32_t Index) {
  throw EStringListError(Format("List index (%d) out of bounds", Index));
}

void TStrings::Put(int32_t Index, const std::string& S) {
  auto guard = UpdateBracket(this);
  TObject* obj = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, obj);
  guard.Run();
}

TObject* TStrings::GetObject(int32_t Index) const {
  (void)Index;
  return nullptr;
}

void TStrings::PutObject(int32_t Index, TObject* AObject) {
  (void)Index;
  (void)AObject;
}

int32_t TStrings::Add(const std::string& S) {
  int32_t index = GetCount();
  Insert(index, S);
  return index;
}

int32_t TStrings::AddObject(const std::string& S, TObject* AObject) {
  int32_t index = Add(S);
  PutObject(index, AObject);
  return index;
}

void TStrings::InsertObject(int32_t Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::AddStrings(const TStrings* Strings) {
  if (Strings == nullptr) return;
  auto guard = UpdateBracket(this);
  // Read the count once: Strings may be this list.
  int32_t n = Strings->GetCount();
  for (int32_t i = 0; i < n; ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
  guard.Run();
}

void TStrings::Exchange(int32_t Index1, int32_t Index2) {
  auto guard = UpdateBracket(this);
  std::string s1 = Get(Index1);
  std::string s2 = Get(Index2);
  TObject* o1 = GetObject(Index1);
  TObject* o2 = GetObject(Index2);
  Put(Index1, s2);
  PutObject(Index1, o2);
  Put(Index2, s1);
  PutObject(Index2, o1);
  guard.Run();
}

void TStrings::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  auto guard = UpdateBracket(this);
  std::string s = Get(CurIndex);
  TObject* obj = GetObject(CurIndex);
  if (NewIndex < 0 || NewIndex >= GetCount()) IndexError(NewIndex);
  // Detach the object first so that a list owning its objects does not free it.
  PutObject(CurIndex, nullptr);
  Delete(CurIndex);
  InsertObject(NewIndex, s, obj);
  guard.Run();
}

int32_t TStrings::IndexOf(const std::string& S) const {
  int32_t n = GetCount();
  for (int32_t i = 0; i < n; ++i) {
    if (CompareStrings(Get(i), S) == 0) return i;
  }
  return -1;
}

int32_t TStrings::IndexOfName(const std::string& Name) const {
  int32_t n = GetCount();
  for (int32_t i = 0; i < n; ++i) {
    std::string line = Get(i);
    size_t p = line.find(FNameValueSeparator);
    if (p != std::string::npos && CompareStrings(line.substr(0, p), Name) == 0) return i;
  }
  return -1;
}

int32_t TStrings::IndexOfObject(const TObject* AObject) const {
  int32_t n = GetCount();
  for (int32_t i = 0; i < n; ++i) {
    if (GetObject(i) == AObject) return i;
  }
  return -1;
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
  return CompareText(S1, S2);
}

std::string TStrings::Names(int32_t Index) const {
  std::string line = Get(Index);
  size_t p = line.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : line.substr(0, p);
}

std::string TStrings::Values(const std::string& Name) const {
  int32_t i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  int32_t i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = Name + FNameValueSeparator + Value;
  if (i < 0) {
    Add(line);
  } else {
    Put(i, line);
  }
}

std::string TStrings::ValueFromIndex(int32_t Index) const {
  std::string line = Get(Index);
  size_t p = line.find(FNameValueSeparator);
  return p == std::string::npos ? line : line.substr(p + 1);
}

void TStrings::SetValueFromIndex(int32_t Index, const std::string& Value) {
  if (Value.empty()) {
    Delete(Index);
    return;
  }
  Put(Index, Names(Index) + FNameValueSeparator + Value);
}

std::string TStrings::Text() const {
  std::string result;
  int32_t n = GetCount();
  for (int32_t i = 0; i < n; ++i) {
    result += Get(i);
    result += FLineBreak;
  }
  return result;
}

void TStrings::SetText(std::string_view Value) {
  auto guard = UpdateBracket(this);
  Clear();
  size_t start = 0;
  size_t i = 0;
  while (i < Value.size()) {
    char c = Value[i];
    if (c == '\r' || c == '\n') {
      Add(std::string(Value.substr(start, i - start)));
      if (c == '\r' && i + 1 < Value.size() && Value[i + 1] == '\n') ++i;
      start = i + 1;
    }
    ++i;
  }
  if (start < Value.size()) Add(std::string(Value.substr(start)));
  guard.Run();
}

namespace {

std::string JoinDelimited(const TStrings& list, char delimiter, char quoteChar) {
  std::string result;
  int32_t n = list.GetCount();
  for (int32_t i = 0; i < n; ++i) {
    std::string s = list.Get(i);
    // An empty item is quoted too, so that a list of one empty line does not
    // read back as an empty list.
    bool quote = s.empty() || std::any_of(s.begin(), s.end(), [&](char c) {
                   return static_cast<unsigned char>(c) <= ' ' || c == quoteChar || c == delimiter;
                 });
    if (i > 0) result += delimiter;
    if (!quote) {
      result += s;
      continue;
    }
    result += quoteChar;
    for (char c : s) {
      if (c == quoteChar) result += quoteChar;
      result += c;
    }
    result += quoteChar;
  }
  return result;
}

void SplitDelimited(TStrings& list, std::string_view value, char delimiter, char quoteChar) {
  auto guard = UpdateBracket(&list);
  list.Clear();
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t i = 0;
  const size_t n = value.size();
  auto skipBlanks = [&] {
    while (i < n && blank(value[i])) ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (value[i] == quoteChar) {
      ++i;
      while (i < n) {
        if (value[i] == quoteChar) {
          if (i + 1 < n && value[i + 1] == quoteChar) {
            item += quoteChar;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += value[i++];
      }
    }
    // Unquoted text (or text glued to a closing quote) runs to a delimiter
    // or a blank.
    while (i < n && value[i] != delimiter && !blank(value[i])) item += value[i++];
    list.Add(item);
    skipBlanks();
    if (i < n && value[i] == delimiter) {
      ++i;
      skipBlanks();
      // A trailing delimiter ends with an empty item.
      if (i >= n) list.Add(std::string());
    }
  }
  guard.Run();
}

}  // namespace

std::string TStrings::DelimitedText() const { return JoinDelimited(*this, FDelimiter, FQuoteChar); }

void TStrings::SetDelimitedText(std::string_view Value) { SplitDelimited(*this, Value, FDelimiter, FQuoteChar); }

std::string TStrings::CommaText() const { return JoinDelimited(*this, ',', '"'); }

void TStrings::SetCommaText(std::string_view Value) { SplitDelimited(*this, Value, ',', '"'); }

void TStrings::LoadFromStream(TStream* Stream) {
  int64_t size = Stream->Size() - Stream->Position();
  std::string data = Stream->ReadString(static_cast<int32_t>(std::max<int64_t>(size, 0)));
  SetText(data);
}

void TStrings::SaveToStream(TStream* Stream) const { Stream->WriteString(Text()); }

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

void TStrings::BeginUpdate() {
  // The count is raised only after the state change succeeded, so a refused
  // change (OnChanging raising) leaves no bracket open.
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount <= 0) return;
  --FUpdateCount;
  if (FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::Assign(TPersistent* Source) {
  auto* source = dynamic_cast<TStrings*>(Source);
  if (source == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (source == this) return;  // clearing first would lose the lines
  auto guard = UpdateBracket(this);
  Clear();
  FNameValueSeparator = source->FNameValueSeparator;
  FDelimiter = source->FDelimiter;
  FQuoteChar = source->FQuoteChar;
  FLineBreak = source->FLineBreak;
  AddStrings(source);
  guard.Run();
}

bool TStrings::Equals(const TStrings* Other) const {
  if (Other == nullptr || Other->GetCount() != GetCount()) return false;
  for (int32_t i = 0; i < GetCount(); ++i) {
    if (Get(i) != Other->Get(i)) return false;
  }
  return true;
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> result;
  result.reserve(static_cast<size_t>(GetCount()));
  for (int32_t i = 0; i < GetCount(); ++i) result.push_back(Get(i));
  return result;
}

// ---------------------------------------------------------------------------
// TStringList

TStringList::~TStringList() {
  if (FOwnsObjects) {
    for (auto& item : FList) FreeObject(std::exchange(item.FObject, nullptr));
  }
}

void TStringList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) IndexError(Index);
}

std::string TStringList::Get(int32_t Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].FString;
}

void TStringList::Put(int32_t Index, const std::string& S) {
  if (FSorted) throw EStringListError(kSortedListError);
  CheckIndex(Index);
  Changing();
  FList[static_cast<size_t>(Index)].FString = S;
  Changed();
}

TObject* TStringList::GetObject(int32_t Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].FObject;
}

void TStringList::PutObject(int32_t Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  TObject* old = std::exchange(FList[static_cast<size_t>(Index)].FObject, AObject);
  // A list that owns its objects frees the one it no longer holds.
  if (FOwnsObjects && old != AObject) FreeObject(old);
  Changed();
}

int32_t TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int32_t TStringList::AddObject(const std::string& S, TObject* AObject) {
  int32_t index = GetCount();
  if (FSorted) {
    int32_t found = -1;
    index = SortedInsertIndex(S, found);
    if (index < 0) return found;
  }
  InsertItem(index, S, AObject);
  return index;
}

void TStringList::Insert(int32_t Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int32_t Index, const std::string& S, TObject* AObject) {
  if (FSorted) throw EStringListError(kSortedListError);
  if (Index < 0 || Index > GetCount()) IndexError(Index);
  InsertItem(Index, S, AObject);
}

void TStringList::InsertItem(int32_t Index, const std::string& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, TStringItem{S, AObject});
  Changed();
}

void TStringList::Delete(int32_t Index) {
  CheckIndex(Index);
  Changing();
  TObject* obj = FList[static_cast<size_t>(Index)].FObject;
  FList.erase(FList.begin() + Index);
  if (FOwnsObjects) FreeObject(obj);
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  std::vector<TStringItem> old;
  old.swap(FList);
  if (FOwnsObjects) {
    for (auto& item : old) FreeObject(item.FObject);
  }
  Changed();
}

void TStringList::Exchange(int32_t Index1, int32_t Index2) {
  if (FSorted) throw EStringListError(kSortedListError);
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
  Changed();
}

void TStringList::Move(int32_t CurIndex, int32_t NewIndex) {
  if (FSorted) throw EStringListError(kSortedListError);
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  if (CurIndex == NewIndex) return;
  Changing();
  TStringItem item = std::move(FList[static_cast<size_t>(CurIndex)]);
  FList.erase(FList.begin() + CurIndex);
  FList.insert(FList.begin() + NewIndex, std::move(item));
  Changed();
}

int32_t TStringList::IndexOf(const std::string& S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  int32_t index = 0;
  return Find(S, index) ? index : -1;
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return FCaseSensitive ? CompareStr(S1, S2) : CompareText(S1, S2);
}

bool TStringList::Find(const std::string& S, int32_t& Index) const {
  if (!FSorted) {
    Index = TStrings::IndexOf(S);
    if (Index >= 0) return true;
    Index = GetCount();
    return false;
  }
  // Lower bound: the first line not less than S.
  int32_t lo = 0;
  int32_t hi = GetCount();
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (CompareStrings(FList[static_cast<size_t>(mid)].FString, S) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  Index = lo;
  return lo < GetCount() && CompareStrings(FList[static_cast<size_t>(lo)].FString, S) == 0;
}

int32_t TStringList::SortedInsertIndex(const std::string& S, int32_t& FoundIndex) {
  int32_t index = 0;
  if (!Find(S, index)) return index;
  switch (FDuplicates) {
    case dupIgnore:
      FoundIndex = index;
      return -1;
    case dupError:
      throw EStringListError(kDuplicateString);
    case dupAccept:
      break;
  }
  // Equal lines keep the order they were added in.
  while (index < GetCount() && CompareStrings(FList[static_cast<size_t>(index)].FString, S) == 0) ++index;
  return index;
}

void TStringList::Sort() {
  CustomSort([](TStringList* list, int32_t a, int32_t b) {
    return list->CompareStrings(list->FList[static_cast<size_t>(a)].FString,
                                list->FList[static_cast<size_t>(b)].FString);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  if (GetCount() < 2) return;
  Changing();
  // Sort a permutation while the list itself stays put, since Compare reads
  // lines by index.
  std::vector<int32_t> order(FList.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t a, int32_t b) { return Compare(this, a, b) < 0; });
  std::vector<TStringItem> sorted;
  sorted.reserve(FList.size());
  for (int32_t i : order) sorted.push_back(std::move(FList[static_cast<size_t>(i)]));
  FList.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Value == FSorted) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == FCaseSensitive) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && FOnChanging) FOnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && FOnChange) FOnChange(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    Changing();
  } else {
    Changed();
  }
}

}  // namespace dac
