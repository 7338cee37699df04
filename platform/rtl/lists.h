#pragma once
// TList<T>: an indexed list over std::vector with checked indexes, and
// TBits: a growable bit set.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/rtl/exceptions.h"

namespace dac {

DAC_DECLARE_EXCEPTION(EBitsError, Exception);

// Raises EListError "List index (%d) out of bounds".
[[noreturn]] void ListIndexError(int64_t Index);

// The list does not own what pointers it holds; a list of std::unique_ptr
// owns its items.
template <class T>
class TList {
 public:
  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  TList() = default;

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // Shrinks or grows (new entries value-initialised: null pointers).
  void SetCount(int32_t NewCount) {
    if (NewCount < 0) ListIndexError(NewCount);
    FItems.resize(static_cast<size_t>(NewCount));
  }
  int32_t Capacity() const { return static_cast<int32_t>(FItems.capacity()); }
  void SetCapacity(int32_t Value) {
    if (Value > 0) FItems.reserve(static_cast<size_t>(Value));
  }

  const T& Items(int32_t Index) const { return FItems[Check(Index)]; }
  T& Items(int32_t Index) { return FItems[Check(Index)]; }
  void SetItems(int32_t Index, T Item) { FItems[Check(Index)] = std::move(Item); }
  const T& operator[](int32_t Index) const { return Items(Index); }
  T& operator[](int32_t Index) { return Items(Index); }
  const T& First() const { return Items(0); }
  const T& Last() const { return Items(Count() - 1); }

  int32_t Add(T Item) {
    FItems.push_back(std::move(Item));
    return Count() - 1;
  }
  // Index may equal Count (append).
  void Insert(int32_t Index, T Item) {
    if (Index < 0 || Index > Count()) ListIndexError(Index);
    FItems.insert(FItems.begin() + Index, std::move(Item));
  }
  void Delete(int32_t Index) { FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(Check(Index))); }
  // Removes the first entry equal to Item; returns its index or -1.
  int32_t Remove(const T& Item) {
    int32_t i = IndexOf(Item);
    if (i >= 0) Delete(i);
    return i;
  }
  // Removes the first entry equal to Item and returns it; returns T{} (null)
  // when absent.
  T Extract(const T& Item) {
    int32_t i = IndexOf(Item);
    if (i < 0) return T{};
    T result = std::move(FItems[static_cast<size_t>(i)]);
    FItems.erase(FItems.begin() + i);
    return result;
  }
  int32_t IndexOf(const T& Item) const {
    auto it = std::find(FItems.begin(), FItems.end(), Item);
    return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
  }
  bool Contains(const T& Item) const { return IndexOf(Item) >= 0; }
  void Exchange(int32_t Index1, int32_t Index2) {
    std::swap(FItems[Check(Index1)], FItems[Check(Index2)]);
  }
  void Move(int32_t CurIndex, int32_t NewIndex) {
    Check(CurIndex);
    Check(NewIndex);
    if (CurIndex == NewIndex) return;
    T item = std::move(FItems[static_cast<size_t>(CurIndex)]);
    FItems.erase(FItems.begin() + CurIndex);
    FItems.insert(FItems.begin() + NewIndex, std::move(item));
  }
  void Clear() { FItems.clear(); }

  iterator begin() { return FItems.begin(); }
  iterator end() { return FItems.end(); }
  const_iterator begin() const { return FItems.begin(); }
  const_iterator end() const { return FItems.end(); }
  const std::vector<T>& Vector() const { return FItems; }

 private:
  size_t Check(int32_t Index) const {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return static_cast<size_t>(Index);
  }
  std::vector<T> FItems;
};

class TBits {
 public:
  explicit TBits(int32_t ASize = 0) { SetSize(ASize); }

  int32_t Size() const { return FSize; }
  // Growing adds clear bits; a negative size raises EBitsError.
  void SetSize(int32_t Value);
  // Reading beyond Size gives false; a negative index raises EBitsError
  // "Bits index out of range: %d".
  bool Bits(int32_t Index) const;
  // Setting a bit beyond Size grows the set.
  void SetBits(int32_t Index, bool Value);
  bool Get(int32_t Index) const { return Bits(Index); }
  void SetOn(int32_t Index) { SetBits(Index, true); }
  void Clear(int32_t Index) { SetBits(Index, false); }
  void ClearAll();
  // The lowest clear bit; Size when every bit is set.
  int32_t OpenBit() const;

 private:
  std::vector<uint64_t> FWords;
  int32_t FSize = 0;
};

}  // namespace dac
