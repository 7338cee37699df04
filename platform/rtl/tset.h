#pragma once
// TSet<E>: a set of an enumeration with at most 64 values, as a bit set.

#include <cstdint>
#include <initializer_list>

namespace dac {

template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) Include(e);
  }

  constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
  constexpr TSet& Include(E e) {
    FBits |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    FBits &= ~Bit(e);
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr void Clear() { FBits = 0; }
  constexpr uint64_t Bits() const { return FBits; }

  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  constexpr TSet& operator+=(TSet o) {
    FBits |= o.FBits;
    return *this;
  }
  constexpr TSet& operator-=(TSet o) {
    FBits &= ~o.FBits;
    return *this;
  }
  constexpr bool operator==(const TSet&) const = default;
  // True when every member of o is in this set.
  constexpr bool ContainsAll(TSet o) const { return (FBits & o.FBits) == o.FBits; }

  static constexpr TSet FromBits(uint64_t bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }

 private:
  static constexpr uint64_t Bit(E e) { return uint64_t{1} << static_cast<unsigned>(e); }
  uint64_t FBits = 0;
};

}  // namespace dac
