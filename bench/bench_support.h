// What the benchmarks share: a failed set-up step ends the program with its
// status or SQLite's message, since a benchmark of broken data means nothing.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/drm.h"

namespace benchsupport {

inline void Check(int32_t status, const char* call) {
  if (status == 0) return;
  char text[DRM_EXT_ERR_MAX] = {};
  uint32_t len = 0;
  RareGetExtErrStr(0xFFFFFFFFu, status, text, sizeof text, &len);
  std::fprintf(stderr, "%s failed: %d %s\n", call, status, text);
  std::exit(1);
}

inline void CheckSql(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

// The size DAC_BENCH_ROWS asks for, else `fallback`, never below `minimum`.
inline uint32_t BenchRows(uint32_t fallback, uint32_t minimum = 1000) {
  const char* v = std::getenv("DAC_BENCH_ROWS");
  const long n = v ? std::atol(v) : static_cast<long>(fallback);
  return n < static_cast<long>(minimum) ? minimum : static_cast<uint32_t>(n);
}

}  // namespace benchsupport
