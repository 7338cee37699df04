#pragma once
// TStrings (an abstract list of text lines, each with an optional object)
// and TStringList (the concrete, optionally sorted list).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/object.h"

namespace dac {

class TStream;

enum TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
 public:
  // --- the abstract core a descendant provides -----------------------------
  virtual int32_t GetCount() const = 0;
  virtual std::string Get(int32_t Index) const = 0;
  virtual void Insert(int32_t Index, const std::string& S) = 0;
  virtual void Delete(int32_t Index) = 0;
  virtual void Clear() = 0;
  // Defaults: Put replaces the line keeping its object; objects read as null
  // and PutObject does nothing.
  virtual void Put(int32_t Index, const std::string& S);
  virtual TObject* GetObject(int32_t Index) const;
  virtual void PutObject(int32_t Index, TObject* AObject);

  // --- properties ---------------------------------------------------------
  int32_t Count() const { return GetCount(); }
  std::string Strings(int32_t Index) const { return Get(Index); }
  void SetStrings(int32_t Index, const std::string& S) { Put(Index, S); }
  TObject* Objects(int32_t Index) const { return GetObject(Index); }
  void SetObjects(int32_t Index, TObject* AObject) { PutObject(Index, AObject); }

  // --- adding and moving ---------------------------------------------------
  // Appends (or, in a sorted list, inserts in order); returns the index. In
  // a sorted list with dupIgnore an equal line is not added: the result is
  // the existing line's index and the caller keeps AObject.
  virtual int32_t Add(const std::string& S);
  virtual int32_t AddObject(const std::string& S, TObject* AObject);
  virtual void InsertObject(int32_t Index, const std::string& S, TObject* AObject);
  // Appends every line and object of Strings.
  void AddStrings(const TStrings* Strings);
  virtual void Exchange(int32_t Index1, int32_t Index2);
  virtual void Move(int32_t CurIndex, int32_t NewIndex);

  // --- searching -----------------------------------------------------------
  // Index of the line equal to S (compared by CompareStrings), -1 if none.
  virtual int32_t IndexOf(const std::string& S) const;
  // Index of the first NAME=VALUE line whose name equals Name (compared by
  // CompareStrings), -1 if none.
  virtual int32_t IndexOfName(const std::string& Name) const;
  int32_t IndexOfObject(const TObject* AObject) const;
  // Compares two lines; the base ignores ASCII case.
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;

  // --- NAME=VALUE lines -----------------------------------------------------
  // The part before the first '=', "" for a line without '='.
  std::string Names(int32_t Index) const;
  // The value of the first line named Name, "" when there is none.
  std::string Values(const std::string& Name) const;
  // Sets the value of the line named Name, adding a line when there is none.
  // An empty Value deletes the line, so that empty and absent read alike.
  void SetValues(const std::string& Name, const std::string& Value);
  // The part after the first '=' (the whole line when it has none).
  std::string ValueFromIndex(int32_t Index) const;
  void SetValueFromIndex(int32_t Index, const std::string& Value);
  char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char C) { FNameValueSeparator = C; }

  // --- text forms -----------------------------------------------------------
  // Every line followed by LineBreak().
  std::string Text() const;
  // Replaces the lines; CR LF, LF and CR all end a line. A last line without
  // an end is kept.
  void SetText(std::string_view Value);
  const std::string& LineBreak() const { return FLineBreak; }
  void SetLineBreak(std::string Value) { FLineBreak = std::move(Value); }
  // Lines separated by Delimiter(); a line holding a blank, the delimiter, the
  // quote or a control character is quoted with QuoteChar(), inner quotes
  // doubled.
  std::string DelimitedText() const;
  // Parses the form above; unquoted blanks separate items too.
  void SetDelimitedText(std::string_view Value);
  // DelimitedText with ',' and '"'.
  std::string CommaText() const;
  void SetCommaText(std::string_view Value);
  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char C) { FDelimiter = C; }
  char QuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char C) { FQuoteChar = C; }

  // --- files and streams (bytes unchanged; lines end in LineBreak()) ---------
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  // --- update brackets -------------------------------------------------------
  // Nested brackets; the list reports one change when the outermost ends.
  void BeginUpdate();
  void EndUpdate();
  int32_t UpdateCount() const { return FUpdateCount; }

  // Copies lines and objects of a TStrings Source in order (the target keeps
  // its own list settings); other sources go to the base.
  void Assign(TPersistent* Source) override;
  // Same lines in the same order (case-sensitive).
  bool Equals(const TStrings* Other) const;
  std::vector<std::string> ToVector() const;

 protected:
  // Called with true when the outermost update bracket opens and with false
  // when it closes.
  virtual void SetUpdateState(bool Updating) { (void)Updating; }
  // Raises EStringListError "List index (%d) out of bounds".
  [[noreturn]] static void IndexError(int32_t Index);

 private:
  int32_t FUpdateCount = 0;
  char FNameValueSeparator = '=';
  char FDelimiter = ',';
  char FQuoteChar = '"';
  std::string FLineBreak = "\n";
};

using TStringListSortCompare = std::function<int(class TStringList* List, int32_t Index1, int32_t Index2)>;

class TStringList : public TStrings {
 public:
  TStringList() = default;
  // Frees the objects when OwnsObjects is set.
  ~TStringList() override;

  int32_t GetCount() const override { return static_cast<int32_t>(FList.size()); }
  std::string Get(int32_t Index) const override;
  // Not allowed on a sorted list.
  void Put(int32_t Index, const std::string& S) override;
  TObject* GetObject(int32_t Index) const override;
  // With OwnsObjects, the object it replaces is freed.
  void PutObject(int32_t Index, TObject* AObject) override;
  int32_t Add(const std::string& S) override;
  int32_t AddObject(const std::string& S, TObject* AObject) override;
  // Not allowed on a sorted list.
  void Insert(int32_t Index, const std::string& S) override;
  void InsertObject(int32_t Index, const std::string& S, TObject* AObject) override;
  // Removes the line; its object is freed when OwnsObjects is set.
  void Delete(int32_t Index) override;
  void Clear() override;
  // Not allowed on a sorted list.
  void Exchange(int32_t Index1, int32_t Index2) override;
  // Moves a line with its object. Not allowed on a sorted list.
  void Move(int32_t CurIndex, int32_t NewIndex) override;
  int32_t IndexOf(const std::string& S) const override;
  int CompareStrings(const std::string& S1, const std::string& S2) const override;

  // Binary search in a sorted list: true when S is present, Index being the
  // first equal line; otherwise Index is where S would be inserted. On an
  // unsorted list the search is linear (Index = Count when absent).
  virtual bool Find(const std::string& S, int32_t& Index) const;
  virtual void Sort();
  // Sorts with Compare (the list's Sorted flag is unchanged).
  virtual void CustomSort(const TStringListSortCompare& Compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  // A sorted list is sorted again.
  void SetCaseSensitive(bool Value);
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TNotifyEvent& OnChanging() const { return FOnChanging; }
  void SetOnChanging(TNotifyEvent Value) { FOnChanging = std::move(Value); }

 protected:
  // Fire OnChanging/OnChange unless an update bracket is open.
  virtual void Changing();
  virtual void Changed();
  void SetUpdateState(bool Updating) override;
  // Inserts without the sorted check; reports the change.
  virtual void InsertItem(int32_t Index, const std::string& S, TObject* AObject);

 private:
  struct TStringItem {
    std::string FString;
    TObject* FObject = nullptr;
  };
  void CheckIndex(int32_t Index) const;
  // Index to insert S at in a sorted list, applying Duplicates; -1 means the
  // line is ignored (FoundIndex then holds the existing line).
  int32_t SortedInsertIndex(const std::string& S, int32_t& FoundIndex);

  std::vector<TStringItem> FList;
  bool FSorted = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FCaseSensitive = false;
  bool FOwnsObjects = false;
  TNotifyEvent FOnChange;
  TNotifyEvent FOnChanging;
};

}  // namespace dac
