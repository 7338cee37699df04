// What a location may name: a folder or the engine's storage file on this
// computer. A drive letter keeps its locations inside the drive's folder,
// a UNC name of another host is refused, and a file that is not a database
// is never made into one.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "engine_fixture.h"

using namespace enginetest;

namespace fs = std::filesystem;

class LocationTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    drive = root + "/c";
    fs::create_directories(drive + "/x");
    fs::create_directories(root + "/x");  // beside the drive's folder, not in it
    setenv("DAC_ENGINE_DRIVE_C", drive.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("DAC_ENGINE_DRIVE_C");
    EngineTest::TearDown();
  }
  int32_t OpenAt(const std::string& location) {
    uint32_t d = 0;
    int32_t st = RareOpenDatabase(S, ("\t" + location).c_str(), &d, 0, "", "");
    if (st == 0) RareCloseDatabase(S, d);
    return st;
  }
  std::string MapOf(const std::string& location, int32_t* status = nullptr) {
    char buf[1024] = {};
    uint32_t len = 0;
    int32_t st = DrmEngineLocalPath(location.c_str(), buf, sizeof buf, &len);
    if (status) *status = st;
    return st == 0 ? std::string(buf, len) : "<" + std::to_string(st) + ">";
  }
  std::string drive;
};

TEST_F(LocationTest, ParentsOfADriveRootAreTheRootItself) {
  for (const char* loc : {"C:\\..\\x", "C:\\..\\..\\..\\x", "C:..\\x", "c:/a/../../x", "C:\\.\\x\\.", "C:/x/sub/.."}) {
    SCOPED_TRACE(loc);
    EXPECT_EQ(MapOf(loc), drive + "/x");
    EXPECT_EQ(OpenAt(loc), 0) << ExtErr(-1023);
  }
  EXPECT_TRUE(fs::exists(drive + "/x/engine.rdb"));
  EXPECT_FALSE(fs::exists(root + "/x/engine.rdb"));
  EXPECT_EQ(MapOf("C:\\.."), drive);
}

TEST_F(LocationTest, UncNamesOfOtherHostsAreRefused) {
  EXPECT_EQ(OpenAt("\\\\faraway\\share\\db"), DRM_ERR_NO_SUCH_DATABASE);
  std::string why = ExtErr(DRM_ERR_NO_SUCH_DATABASE);
  EXPECT_NE(why.find("faraway"), std::string::npos) << why;
  EXPECT_NE(why.find("not this computer"), std::string::npos) << why;
  int32_t st = 0;
  MapOf("\\\\faraway\\share", &st);
  EXPECT_EQ(st, DRM_ERR_NO_SUCH_DATABASE);

  // This computer's administrative drive shares are its drives; other share
  // names mean nothing here.
  EXPECT_EQ(MapOf("\\\\localhost\\C$\\x"), drive + "/x");
  EXPECT_EQ(OpenAt("\\\\LOCALHOST\\c$\\..\\x"), 0);
  EXPECT_FALSE(fs::exists(root + "/x/engine.rdb"));
  EXPECT_EQ(OpenAt("\\\\localhost\\public\\x"), DRM_ERR_INVALID_PATH);
  EXPECT_NE(ExtErr(DRM_ERR_INVALID_PATH).find("'public'"), std::string::npos);

  // A named database's paths follow the same rule.
  uint8_t flags[10] = {};
  const std::string unc = "\\\\faraway\\share";
  EXPECT_EQ(SQLAddDatabaseName2("Remote", flags, static_cast<uint16_t>(unc.size() + 1), unc.c_str(), 1, "", 0, "", ""),
            DRM_DBN_INVALID_PATH);
  EXPECT_NE(ExtErr(DRM_DBN_INVALID_PATH, 0xFFFFFFFFu).find("faraway"), std::string::npos);
}

TEST_F(LocationTest, FilesThatAreNotDatabasesAreNeverMadeIntoOne) {
  const std::string empty = root + "/notes.txt";
  std::ofstream(empty).flush();
  EXPECT_EQ(OpenAt(empty), DRM_ERR_NOT_DB_FILE);
  EXPECT_NE(ExtErr(DRM_ERR_NOT_DB_FILE).find("notes.txt"), std::string::npos);
  EXPECT_EQ(fs::file_size(empty), 0u);
  EXPECT_FALSE(fs::exists(empty + "-open"));
  EXPECT_FALSE(fs::exists(empty + "-wal"));

  // A special file is no database either, and opening it never blocks.
  const std::string fifo = root + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  alarm(20);  // a hang here would be the fault
  EXPECT_EQ(OpenAt(fifo), DRM_ERR_NOT_DB_FILE);
  alarm(0);

  // The engine's own storage file, left empty, is still made a database:
  // by its folder or by its name.
  fs::create_directories(root + "/fresh");
  std::ofstream(root + "/fresh/engine.rdb").flush();
  EXPECT_EQ(OpenAt(root + "/fresh/engine.rdb"), 0) << ExtErr(-1206);
  EXPECT_GT(fs::file_size(root + "/fresh/engine.rdb"), 0u);
  EXPECT_EQ(OpenAt(root + "/fresh"), 0);
}

TEST_F(LocationTest, RootedBackslashPathsWithoutADriveAreOnTheDefaultDrive) {
  EXPECT_EQ(MapOf("\\x\\out.csv"), drive + "/x/out.csv");
  EXPECT_EQ(MapOf("/x\\out.csv"), drive + "/x/out.csv");
  EXPECT_EQ(MapOf(root + "/x/out.csv"), root + "/x/out.csv");  // slashes only: this system's own path
  EXPECT_EQ(MapOf("x\\out.csv"), "x/out.csv");                  // relative stays relative
  EXPECT_EQ(OpenAt("\\x"), 0) << ExtErr(-1023);
  EXPECT_TRUE(fs::exists(drive + "/x/engine.rdb"));

  fs::create_directories(root + "/e");
  fs::create_directories(root + "/config");
  std::ofstream(root + "/config/drives") << "E=" << root << "/e\ndefault=e\n";
  EXPECT_EQ(MapOf("\\out.csv"), root + "/e/out.csv");
  setenv("DAC_ENGINE_DEFAULT_DRIVE", "C", 1);
  EXPECT_EQ(MapOf("\\out.csv"), drive + "/out.csv");
  unsetenv("DAC_ENGINE_DEFAULT_DRIVE");
}

TEST_F(LocationTest, APathIsToldFromTheNameOfANamedDatabase) {
  for (const char* path : {"a/b", "a\\b", "C:x", "\\x", "/x"}) EXPECT_EQ(DrmEngineLocationIsPath(path), 1) << path;
  for (const char* name : {"SALES", "db.1", ""}) EXPECT_EQ(DrmEngineLocationIsPath(name), 0) << name;
  EXPECT_EQ(DrmEngineLocationIsPath(nullptr), DRM_ERR_INVALID_PARAMETER);
}
