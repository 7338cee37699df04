// Layout of the packed records exchanged with the engine. Only the header is
// used: no engine call is made, so this needs no engine library.
#include <gtest/gtest.h>

#include <cstddef>

#include "engine/drm.h"
#include "engine/drm_values.h"

static_assert(sizeof(DRM_FilterStruct) == 21);
static_assert(offsetof(DRM_FilterStruct, IsColumn) == 0);
static_assert(offsetof(DRM_FilterStruct, ColumnId) == 1);
static_assert(offsetof(DRM_FilterStruct, ExprWithNextTerm) == 5);
static_assert(offsetof(DRM_FilterStruct, CompareCode) == 6);
static_assert(offsetof(DRM_FilterStruct, CompColumnId) == 7);
static_assert(offsetof(DRM_FilterStruct, pConst) == 11);
static_assert(offsetof(DRM_FilterStruct, ConstLen) == 19);

static_assert(sizeof(TRmInfo) == 22);
static_assert(offsetof(TRmInfo, pKeyBuf) == 0);
static_assert(offsetof(TRmInfo, KeyLen) == 8);
static_assert(offsetof(TRmInfo, KeyNum) == 9);
static_assert(offsetof(TRmInfo, CurFilter) == 10);
static_assert(offsetof(TRmInfo, CurFilterLen) == 18);

static_assert(sizeof(DRM_ColumnStruct) == 36);
static_assert(offsetof(DRM_ColumnStruct, ColTyp) == 4);
static_assert(offsetof(DRM_ColumnStruct, cbMax) == 8);
static_assert(offsetof(DRM_ColumnStruct, Precision) == 12);
static_assert(offsetof(DRM_ColumnStruct, Scale) == 14);
static_assert(offsetof(DRM_ColumnStruct, grBit) == 16);
static_assert(offsetof(DRM_ColumnStruct, pDefault) == 20);
static_assert(offsetof(DRM_ColumnStruct, pCollation) == 28);

static_assert(sizeof(DRM_RetrieveStruct) == 8);

// The value forms: every part at its byte offset, no padding, any address.
static_assert(offsetof(DRM_Date, Month) == 2 && offsetof(DRM_Date, Day) == 4);
static_assert(offsetof(DRM_Time, Minute) == 2 && offsetof(DRM_Time, Second) == 4);
static_assert(offsetof(DRM_TimeStamp, Hour) == 6 && offsetof(DRM_TimeStamp, Second) == 10);
static_assert(offsetof(DRM_TimeStamp, Fraction) == 12);
static_assert(alignof(DRM_TimeStamp) == 1 && alignof(DRM_Numeric) == 1);
static_assert(DRM_NUMERIC_INTEGER + DRM_NUMERIC_MAX_USED <= 19);

TEST(DrmLayout, FilterTermArrayHasA21ByteStride) {
  DRM_FilterStruct terms[3] = {};
  auto* base = reinterpret_cast<unsigned char*>(terms);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&terms[1]) - base, 21);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&terms[2].ConstLen) - base, 2 * 21 + 19);
}

TEST(DrmLayout, InfoStructureOffsetsFitTheirSizes) {
  EXPECT_LT(DRM_TI_FLAGS + 4, DRM_TABLEINFO_SIZE + 1);
  EXPECT_EQ(DRM_CI_SEQUENCEID + 4, DRM_COLUMNINFO_SIZE);
  EXPECT_EQ(DRM_II_COLUMNNAME + 4, DRM_INDEXINFO_SIZE);
  EXPECT_EQ(DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT32), 0x0F04u);
  EXPECT_EQ(DRM_COLTYP_RM(0x150Cu), 21u);
  EXPECT_EQ(DRM_COLTYP_DRM(0x150Cu), 12u);
}

TEST(DrmLayout, ValueFormsStartAtZeroInCpp) {
  // Callers rely on this for "no value yet" (a decimal with n = 0 is zero).
  DRM_Numeric numeric;
  DRM_TimeStamp stamp;
  for (uint16_t w : numeric.Words) EXPECT_EQ(w, 0);
  EXPECT_EQ(stamp.Year, 0);
  EXPECT_EQ(stamp.Fraction, 0u);
}
