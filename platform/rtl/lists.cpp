#include "platform/rtl/lists.h"

#include <bit>

#include "platform/rtl/format.h"

namespace dac {

void ListIndexError(int64_t Index) { throw EListError(Format("List index (%d) out of bounds", Index)); }

namespace {

[[noreturn]] void BitsIndexError(int64_t Index) {
  throw EBitsError(Format("Bits index out of range: %d", Index));
}

}  // namespace

void TBits::SetSize(int32_t Value) {
  if (Value < 0) BitsIndexError(Value);
  size_t words = (static_cast<size_t>(Value) + 63) / 64;
  FWords.resize(words, 0);
  // Bits beyond the new size are cleared so that growing again shows them
  // clear.
  if (Value % 64 != 0) FWords.back() &= (uint64_t{1} << (Value % 64)) - 1;
  FSize = Value;
}

bool TBits::Bits(int32_t Index) const {
  if (Index < 0) BitsIndexError(Index);
  if (Index >= FSize) return false;
  return (FWords[static_cast<size_t>(Index) / 64] >> (Index % 64)) & 1U;
}

void TBits::SetBits(int32_t Index, bool Value) {
  if (Index < 0) BitsIndexError(Index);
  if (Index >= FSize) {
    if (!Value) return;
    SetSize(Index + 1);
  }
  uint64_t mask = uint64_t{1} << (Index % 64);
  uint64_t& word = FWords[static_cast<size_t>(Index) / 64];
  word = Value ? (word | mask) : (word & ~mask);
}

void TBits::ClearAll() { std::fill(FWords.begin(), FWords.end(), 0); }

int32_t TBits::OpenBit() const {
  for (size_t w = 0; w < FWords.size(); ++w) {
    if (FWords[w] != ~uint64_t{0}) {
      int32_t bit = static_cast<int32_t>(w * 64) + std::countr_one(FWords[w]);
      return bit < FSize ? bit : FSize;
    }
  }
  return FSize;
}

}  // namespace dac
