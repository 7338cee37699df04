#pragma once
// 128-bit integers for exact intermediate results (overflow checks,
// products and sums of 64-bit values). They are a GCC and Clang extension;
// naming them once here, marked as one, keeps pedantic builds quiet.

namespace dac {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

}  // namespace dac
