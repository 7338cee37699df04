#pragma once
// TIndexDef / TIndexDefs: the description of a dataset's indexes.

#include <cstdint>
#include <string>

#include "platform/db/db_types.h"
#include "platform/rtl/collection.h"

namespace dac {

class TDataSet;
class TIndexDefs;

class TIndexDef : public TCollectionItem {
 public:
  TIndexDef() = default;
  // A definition outside any collection (the caller owns it).
  TIndexDef(const std::string& Name, const std::string& Fields, TIndexOptions Options)
      : FName(Name), FFields(Fields), FOptions(Options) {}

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  // Field names separated by ";".
  const std::string& Fields() const { return FFields; }
  void SetFields(const std::string& Value) { FFields = Value; Changed(false); }
  TIndexOptions Options() const { return FOptions; }
  void SetOptions(TIndexOptions Value) { FOptions = Value; Changed(false); }
  const std::string& DescFields() const { return FDescFields; }
  void SetDescFields(const std::string& Value) { FDescFields = Value; Changed(false); }
  const std::string& CaseInsFields() const { return FCaseInsFields; }
  void SetCaseInsFields(const std::string& Value) { FCaseInsFields = Value; Changed(false); }
  const std::string& Expression() const { return FExpression; }
  void SetExpression(const std::string& Value) { FExpression = Value; Changed(false); }
  const std::string& Source() const { return FSource; }
  void SetSource(const std::string& Value) { FSource = Value; Changed(false); }
  const std::string& GroupingLevelText() const { return FGroupingLevelText; }

  void Assign(TPersistent* Source) override;

 protected:
  std::string GetDisplayName() const override { return FName; }

 private:
  std::string FName;
  std::string FFields;
  TIndexOptions FOptions;
  std::string FDescFields;
  std::string FCaseInsFields;
  std::string FExpression;
  std::string FSource;
  std::string FGroupingLevelText;
};

class TIndexDefs : public TOwnedCollection {
 public:
  explicit TIndexDefs(TDataSet* ADataSet);

  TDataSet* DataSet() const { return FDataSet; }
  TIndexDef* Items(int32_t Index) const;
  TIndexDef* operator[](int32_t Index) const { return Items(Index); }
  TIndexDef* AddIndexDef();
  void Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  // Case-insensitive; -1 when absent.
  int32_t IndexOf(const std::string& Name) const;
  TIndexDef* Find(const std::string& Name) const;  // raises "Index '%s' not found"
  // First definition whose fields are exactly Fields (ignoring case), or
  // null. Descendants replace the search.
  virtual TIndexDef* GetIndexForFields(const std::string& Fields, bool CaseInsensitive);
  // As GetIndexForFields, raising when there is none.
  virtual TIndexDef* FindIndexForFields(const std::string& Fields);
  bool Updated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }
  // When not up to date: the dataset's UpdateIndexDefs inside an update
  // bracket; the flag is set only when that succeeds.
  virtual void Update();
  // A change of the definitions is passed to the dataset's DefChanged.
  void Update(TCollectionItem* Item) override;

 private:
  TDataSet* FDataSet = nullptr;
  bool FUpdated = false;
};

}  // namespace dac
