#pragma once
// TFields: a dataset's list of fields, in field order. The list does not own
// the fields; they are components owned by their owner.

#include <cstdint>
#include <string>
#include <vector>

namespace dac {

class TDataSet;
class TField;
class TStrings;

class TFields {
 public:
  explicit TFields(TDataSet* ADataSet) : FDataSet(ADataSet) {}

  TDataSet* DataSet() const { return FDataSet; }
  int32_t Count() const { return static_cast<int32_t>(FList.size()); }
  // Raises "Field index out of range" for a bad index.
  TField* Fields(int32_t Index) const;
  TField* operator[](int32_t Index) const { return Fields(Index); }
  // Case-insensitive; null when absent.
  TField* FindField(const std::string& FieldName) const;
  // Raises "Field '%s' not found", naming the dataset.
  TField* FieldByName(const std::string& FieldName) const;
  // The field with that column number, or null.
  TField* FieldByNumber(int32_t FieldNo) const;
  int32_t IndexOf(const TField* Field) const;
  void Add(TField* Field);
  void Remove(TField* Field);
  void Clear() { FList.clear(); }
  void Move(int32_t CurIndex, int32_t NewIndex);
  void GetFieldNames(TStrings* List) const;
  const std::vector<TField*>& List() const { return FList; }

 private:
  TDataSet* FDataSet = nullptr;
  std::vector<TField*> FList;
};

}  // namespace dac
