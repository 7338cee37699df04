/* The engine's value forms of dates, times, timestamps and decimals: what
   RareSetColumn takes and RareRetrieveColumn gives for DRM types 101, 102, 8
   and 103, and the form of filter constants and key parts of those types.
   Packed, little-endian. In C++ every member starts at zero. */
#ifndef DAC_ENGINE_DRM_VALUES_H
#define DAC_ENGINE_DRM_VALUES_H

#include <stdint.h>

#ifdef __cplusplus
#define DRM_ZEROED = {}
#else
#define DRM_ZEROED
#endif

#pragma pack(push, 1)

/* DRM 101: all parts 0 is NULL. */
typedef struct DRM_Date {
  uint16_t Year DRM_ZEROED;
  uint16_t Month DRM_ZEROED;
  uint16_t Day DRM_ZEROED;
} DRM_Date;

/* DRM 102. */
typedef struct DRM_Time {
  uint16_t Hour DRM_ZEROED;
  uint16_t Minute DRM_ZEROED;
  uint16_t Second DRM_ZEROED;
} DRM_Time;

/* DRM 8: Fraction counts units of 10^-7 seconds (DRM_FRACTION_PER_SECOND);
   all parts 0 is NULL. */
typedef struct DRM_TimeStamp {
  uint16_t Year DRM_ZEROED;
  uint16_t Month DRM_ZEROED;
  uint16_t Day DRM_ZEROED;
  uint16_t Hour DRM_ZEROED;
  uint16_t Minute DRM_ZEROED;
  uint16_t Second DRM_ZEROED;
  uint32_t Fraction DRM_ZEROED;
} DRM_TimeStamp;

/* DRM 103: 19 words. Words[0] is 0, Words[DRM_NUMERIC_EXPONENT] the signed
   power of ten e, Words[DRM_NUMERIC_USED] the number n (0 to 4) of integer
   words in use, Words[DRM_NUMERIC_INTEGER ...] the integer, lowest word
   first, two's complement over n words; the words after them are 0. The
   value is integer * 10^e; n = 0 is zero. */
typedef struct DRM_Numeric {
  uint16_t Words[19] DRM_ZEROED;
} DRM_Numeric;

#pragma pack(pop)

#define DRM_FRACTION_PER_SECOND 10000000u
#define DRM_NUMERIC_EXPONENT 1
#define DRM_NUMERIC_USED 2
#define DRM_NUMERIC_INTEGER 3
#define DRM_NUMERIC_MAX_USED 4

#ifdef __cplusplus
#include <type_traits>
#define DRM_VALUES_ASSERT(t, n)                                                      \
  static_assert(sizeof(t) == (n) && alignof(t) == 1 && std::is_trivially_copyable_v<t>, \
                #t " is exchanged as " #n " packed bytes")
#else
#define DRM_VALUES_ASSERT(t, n) _Static_assert(sizeof(t) == (n), #t " is exchanged as " #n " packed bytes")
#endif
DRM_VALUES_ASSERT(DRM_Date, 6);
DRM_VALUES_ASSERT(DRM_Time, 6);
DRM_VALUES_ASSERT(DRM_TimeStamp, 16);
DRM_VALUES_ASSERT(DRM_Numeric, 38);
#undef DRM_VALUES_ASSERT
#undef DRM_ZEROED

#endif /* DAC_ENGINE_DRM_VALUES_H */
