// Shared set-up of the session and database tests: a private engine data
// and configuration directory, database folders under it, the session layer
// started fresh for every test and shut down afterwards, and the headless
// dialogs and screen cursor reset.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "engine/drm.h"
#include "platform/desktop/dialogs.h"
#include "platform/desktop/screen.h"
#include "sessions/database.h"
#include "sessions/session.h"
#include "sessions/session_list.h"

namespace sessiontest {

class SessionTest : public ::testing::Test {
 protected:
  std::string root;

  void SetUp() override {
    char tmpl[] = "/tmp/dacsessXXXXXX";
    char* p = mkdtemp(tmpl);
    ASSERT_NE(p, nullptr);
    root = p;
    setenv("DAC_ENGINE_DATA_DIR", (root + "/data").c_str(), 1);
    setenv("DAC_ENGINE_CONFIG_DIR", (root + "/config").c_str(), 1);
    setenv("DAC_ENGINE_BUSY_MS", "200", 1);
    dac::HeadlessDialogs().Clear();
    dac::Screen().SetCursor(dac::crDefault);
    dac::InitializeSessions();
  }
  void TearDown() override {
    dac::FinalizeSessions();
    dac::HeadlessDialogs().Clear();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  // A new, empty database folder.
  std::string DbDir(const std::string& name) {
    std::string dir = root + "/" + name;
    std::filesystem::create_directories(dir);
    return dir;
  }

  // A table (Id int32, Name text 20) made through the engine's own calls.
  static void CreatePeopleTable(uint32_t S, uint32_t D, const std::string& table, uint32_t& idCol,
                                uint32_t& nameCol) {
    uint32_t t = 0;
    ASSERT_EQ(RareCreateTable(S, D, table.c_str(), &t), 0);
    DRM_ColumnStruct c{};
    c.StructSize = sizeof c;
    c.ColTyp = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32);
    c.cbMax = 4;
    ASSERT_EQ(RareCreateColumn(S, t, "Id", &c, &idCol), 0);
    c.ColTyp = DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT);
    c.cbMax = 20;
    ASSERT_EQ(RareCreateColumn(S, t, "Name", &c, &nameCol), 0);
    ASSERT_EQ(RareCloseTable(S, t), 0);
  }
};

}  // namespace sessiontest
