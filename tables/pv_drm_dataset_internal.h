#pragma once
// Constants and small helpers shared by the files of TPvDrmDataSet.

#include <cstddef>
#include <cstdint>

#include "engine/drm.h"

namespace dac::drmdataset {

inline constexpr int32_t kNoRecord = DRM_ERR_NO_CURRENT_RECORD;             // -1603
inline constexpr int32_t kNoInsertPossible = DRM_ERR_NO_INSERT_POSSIBLE;  // -4991
inline constexpr int32_t kRecordGone = DRM_ERR_RECORD_GONE;               // -4956
inline constexpr size_t kKeyBufferCount = 8;

// -1603 and -4991 both mean "no record there".
inline bool IsEndOfData(int32_t Status) { return Status == kNoRecord || Status == kNoInsertPossible; }

}  // namespace dac::drmdataset
