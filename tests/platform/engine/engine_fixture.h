// Shared set-up of the engine tests: a private data/config directory per
// test, a session, a database in a temporary folder and small helpers that
// go through the C interface only.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/drm.h"

namespace enginetest {

inline std::string MakeTempDir() {
  char tmpl[] = "/tmp/drmtestXXXXXX";
  char* p = mkdtemp(tmpl);
  return p ? std::string(p) : std::string();
}

struct Col {
  std::string name;
  uint32_t colTyp;
  uint32_t cbMax = 0;
  uint32_t grBit = 0;
  const char* dflt = nullptr;
  const char* collation = nullptr;
  uint16_t precision = 0, scale = 0;
};

class EngineTest : public ::testing::Test {
 protected:
  std::string root, dbDir;
  uint32_t S = 0, D = 0;

  void SetUp() override {
    root = MakeTempDir();
    ASSERT_FALSE(root.empty());
    setenv("DAC_ENGINE_DATA_DIR", (root + "/data").c_str(), 1);
    setenv("DAC_ENGINE_CONFIG_DIR", (root + "/config").c_str(), 1);
    setenv("DAC_ENGINE_BUSY_MS", "200", 1);
    dbDir = root + "/db";
    std::filesystem::create_directories(dbDir);
    ASSERT_EQ(RareBeginSession(&S, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(S, ("\t" + dbDir).c_str(), &D, 0, "", ""), 0);
  }
  void TearDown() override {
    if (S) RareEndSession(S);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  std::string ExtErr(int32_t status, uint32_t session = 0) {
    char buf[DRM_EXT_ERR_MAX];
    uint32_t len = 0;
    RareGetExtErrStr(session ? session : S, status, buf, sizeof buf, &len);
    return std::string(buf, len);
  }

  // Creates a table with the columns and returns the column ids.
  std::vector<uint32_t> CreateTable(const std::string& name, const std::vector<Col>& cols,
                                    uint32_t session = 0, uint32_t db = 0) {
    uint32_t s = session ? session : S, d = db ? db : D, t = 0;
    std::vector<uint32_t> ids;
    EXPECT_EQ(RareCreateTable(s, d, name.c_str(), &t), 0) << ExtErr(-1);
    for (auto& c : cols) {
      DRM_ColumnStruct cs{};
      cs.StructSize = sizeof cs;
      cs.ColTyp = c.colTyp;
      cs.cbMax = c.cbMax;
      cs.grBit = c.grBit;
      cs.pDefault = c.dflt;
      cs.pCollation = c.collation;
      cs.Precision = c.precision;
      cs.Scale = c.scale;
      uint32_t id = 0;
      int32_t st = RareCreateColumn(s, t, c.name.c_str(), &cs, &id);
      EXPECT_EQ(st, 0) << c.name << ": " << ExtErr(st, s);
      ids.push_back(id);
    }
    EXPECT_EQ(RareCloseTable(s, t), 0);
    return ids;
  }

  static std::vector<char> KeySpec(const std::vector<std::string>& fields) {
    std::vector<char> spec;
    for (auto& f : fields) {
      spec.insert(spec.end(), f.begin(), f.end());
      spec.push_back('\0');
    }
    spec.push_back('\0');
    return spec;
  }

  int32_t CreateIndex(uint32_t t, const std::string& name, const std::vector<std::string>& fields,
                      uint32_t flags = DRM_IDXFLAG_CASE_SENSITIVE) {
    auto spec = KeySpec(fields);
    return RareCreateIndex(S, t, name.c_str(), flags, spec.data(), static_cast<uint32_t>(spec.size()), 0);
  }

  uint32_t Open(const std::string& name, int32_t mode = 0, uint32_t session = 0, uint32_t db = 0) {
    uint32_t t = 0;
    int32_t st = RareOpenTable(session ? session : S, db ? db : D, name.c_str(), 0, mode, &t);
    EXPECT_EQ(st, 0) << ExtErr(st, session);
    return t;
  }

  int32_t SetInt32(uint32_t t, uint32_t col, int32_t v, uint32_t s = 0) {
    return RareSetColumn(s ? s : S, t, col, &v, 4, 0, 0, 0);
  }
  int32_t SetText(uint32_t t, uint32_t col, const std::string& v, uint32_t s = 0) {
    std::string z = v + '\0';
    return RareSetColumn(s ? s : S, t, col, z.data(), static_cast<uint32_t>(z.size()), 0, 0, 0);
  }
  int32_t SetNull(uint32_t t, uint32_t col, uint32_t s = 0) {
    return RareSetColumn(s ? s : S, t, col, nullptr, 0, 0, 1, 0);
  }
  int32_t GetInt32(uint32_t t, uint32_t col, int32_t& v, uint32_t s = 0) {
    uint32_t len = 0;
    return RareRetrieveColumn(s ? s : S, t, col, &v, 4, &len, nullptr);
  }
  int32_t ReadInt(uint32_t t, uint32_t col, uint32_t s = 0) {
    int32_t v = -999999;
    int32_t st = GetInt32(t, col, v, s);
    return st == 0 ? v : (st == DRM_WARN_NULL ? -1 : -999999);
  }
  std::string ReadText(uint32_t t, uint32_t col, uint32_t s = 0) {
    char buf[600] = {};
    uint32_t len = 0;
    int32_t st = RareRetrieveColumn(s ? s : S, t, col, buf, sizeof buf, &len, nullptr);
    if (st == DRM_WARN_NULL) return "<null>";
    if (st != 0) return "<status " + std::to_string(st) + ">";
    return std::string(buf, strnlen(buf, len));
  }
  uint32_t Bookmark(uint32_t t) {
    uint32_t b = 0, len = 0;
    EXPECT_EQ(RareGetBookmark(S, t, &b, 4, &len), 0);
    return b;
  }

  // Inserts a row of (int, text) through the update cycle.
  int32_t InsertIntText(uint32_t t, uint32_t ci, int32_t v, uint32_t ct, const std::string& text) {
    int32_t st = RareInitUpdate(S, t, DRM_INITUPD_NEW);
    if (st) return st;
    if ((st = SetInt32(t, ci, v))) return st;
    if ((st = SetText(t, ct, text))) return st;
    return RareUpdateRecord(S, t);
  }

  // Reads the int column of every record in the current order.
  std::vector<int32_t> Scan(uint32_t t, uint32_t col, bool backward = false) {
    std::vector<int32_t> out;
    int32_t st = RareMove(S, t, backward ? DRM_MOVE_LAST : DRM_MOVE_FIRST);
    while (st == 0) {
      out.push_back(ReadInt(t, col));
      st = RareMove(S, t, backward ? DRM_MOVE_PREVIOUS : DRM_MOVE_NEXT);
    }
    EXPECT_EQ(st, DRM_ERR_NO_CURRENT_RECORD);
    return out;
  }
};

}  // namespace enginetest
