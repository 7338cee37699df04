// The named-database registry is one text file shared by processes: what a
// caller passes can never change its structure, a line that cannot be read
// harms only itself, and waiting for another process's lock is bounded.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "engine_fixture.h"

using namespace enginetest;

namespace {

const uint8_t kFlags[10] = {0, 1};

int32_t Add(const std::string& name, const std::string& dict, const std::string& data = "") {
  return SQLAddDatabaseName2(name.c_str(), kFlags, static_cast<uint16_t>(dict.size() + 1), dict.c_str(),
                             static_cast<uint16_t>(data.size() + 1), data.c_str(), 0, "", "");
}

int32_t Modify(const std::string& name, const std::string& dict, const std::string& data = "") {
  return SQLModifyDatabaseInfo2(name.c_str(), name.c_str(), static_cast<uint16_t>(dict.size() + 1), dict.c_str(),
                                static_cast<uint16_t>(data.size() + 1), data.c_str(), kFlags, "", "");
}

int32_t Info(const std::string& name) {
  uint8_t flags[10] = {};
  char dict[513], data[513];
  uint16_t dictSize = sizeof dict, dataSize = sizeof data;
  return SQLGetDatabaseInfo2(name.c_str(), flags, &dictSize, dict, &dataSize, data, "", "");
}

std::string Names() {
  char buf[4096];
  uint32_t len = 0;
  if (RareListDatabaseNames(buf, sizeof buf, &len) != 0) return "<failed>";
  std::string all(buf, len);
  for (char& ch : all)
    if (ch == '\0') ch = '|';
  return all;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

class RegistryTest : public EngineTest {
 protected:
  std::string Registry() const { return root + "/config/dbnames"; }
  std::string NoSessionText(int32_t status) { return ExtErr(status, 0xFFFFFFFFu); }
};

TEST_F(RegistryTest, ControlCharactersInNamesAndPathsAreRefused) {
  ASSERT_EQ(Add("Good", dbDir), 0);
  const std::string before = FileText(Registry());

  // Folders whose names hold a TAB or a line break exist, so only the
  // characters themselves can be the reason for refusing them.
  const std::string tabbed = root + "/a\tb";
  const std::string planted = root + "/x\nEvil\t00000000000000000000\t" + dbDir + "\t" + dbDir;
  std::filesystem::create_directories(tabbed);
  std::filesystem::create_directories(planted);
  for (const std::string& path : {tabbed, planted}) {
    EXPECT_EQ(Add("New", path), DRM_DBN_INVALID_PATH);
    EXPECT_NE(NoSessionText(DRM_DBN_INVALID_PATH).find("control character"), std::string::npos);
    EXPECT_EQ(Add("New", dbDir, path), DRM_DBN_INVALID_PATH);
    EXPECT_EQ(Modify("Good", path), DRM_DBN_INVALID_PATH);
    EXPECT_EQ(Modify("Good", dbDir, path), DRM_DBN_INVALID_PATH);
  }
  for (const std::string& name : {std::string("Tab\tName"), std::string("Line\nEvil"), std::string("Del\x7f"),
                                  std::string("\x1b[2J")}) {
    EXPECT_EQ(Add(name, dbDir), DRM_DBN_INVALID_NAME) << name;
    EXPECT_EQ(SQLModifyDatabaseInfo2("Good", name.c_str(), static_cast<uint16_t>(dbDir.size() + 1), dbDir.c_str(),
                                     1, "", kFlags, "", ""),
              DRM_DBN_INVALID_NAME);
  }
  EXPECT_EQ(FileText(Registry()), before);
  EXPECT_EQ(Names(), "Good||");
  EXPECT_EQ(Info("Evil"), DRM_DBN_NAME_UNKNOWN);
}

// Lines that cannot be read name the file and their line number, spoil only
// their own name, and every rewrite keeps them byte for byte, in place.
TEST_F(RegistryTest, UnreadableLinesAreReportedAndKeptAsTheyAre) {
  std::filesystem::create_directories(root + "/config");
  const std::string good = "First\t00010000000000000000\t" + dbDir + "\t" + dbDir;
  const std::vector<std::string> bad = {
      "Short\t00000000000000000000\t" + dbDir,                           // line 3: three fields
      "Long\t00000000000000000000\t" + dbDir + "\t" + dbDir + "\textra",  // line 4: five fields
      "Crlf\t00000000000000000000\t" + dbDir + "\t" + dbDir + "\r",       // line 5: a carriage return
      "\t00000000000000000000\t" + dbDir + "\t" + dbDir,                  // line 6: no name
      std::string("Bin\t\x01\x02\xff\xfe", 8),                             // line 7
  };
  {
    std::ofstream reg(Registry(), std::ios::binary);
    reg << "# kept\n" << good << '\n';
    for (auto& line : bad) reg << line << '\n';
    reg << "Last\t00000000000000000000\t" << dbDir << '\t' << dbDir << '\n';
  }

  uint32_t d = 0;
  int32_t st = RareOpenDatabase(S, "\tShort", &d, 0, "", "");
  EXPECT_EQ(st, DRM_ERR_NO_SUCH_DATABASE);
  std::string why = ExtErr(st);
  EXPECT_NE(why.find("line 3"), std::string::npos) << why;
  EXPECT_NE(why.find(Registry()), std::string::npos) << why;
  EXPECT_EQ(Info("long"), DRM_DBN_GENERAL);
  why = NoSessionText(DRM_DBN_GENERAL);
  EXPECT_NE(why.find("line 4"), std::string::npos) << why;
  EXPECT_NE(why.find(Registry()), std::string::npos) << why;
  EXPECT_EQ(Info("Crlf"), DRM_DBN_GENERAL);
  EXPECT_NE(NoSessionText(DRM_DBN_GENERAL).find("line 5"), std::string::npos);
  EXPECT_EQ(Info("Bin"), DRM_DBN_GENERAL);
  EXPECT_EQ(Info(""), DRM_DBN_NAME_UNKNOWN);  // the line without a name is nobody's
  EXPECT_EQ(Modify("", dbDir), DRM_DBN_INVALID_NAME);
  EXPECT_EQ(SQLModifyDatabaseInfo2("", "Taken", static_cast<uint16_t>(dbDir.size() + 1), dbDir.c_str(), 1, "", kFlags,
                                   "", ""),
            DRM_DBN_NAME_UNKNOWN);
  EXPECT_EQ(SQLDropDatabaseName2("", 0, "", ""), DRM_DBN_NAME_UNKNOWN);

  EXPECT_EQ(RareOpenDatabase(S, "\tFirst", &d, 0, "", ""), 0);
  EXPECT_EQ(RareOpenDatabase(S, "\tLast", &d, 0, "", ""), 0);
  EXPECT_EQ(Names(), "First|Short|Long|Crlf|Bin|Last||");

  // Rewrites: add, modify and drop other names.
  ASSERT_EQ(Add("Added", dbDir), 0);
  ASSERT_EQ(Modify("Last", root), 0);
  ASSERT_EQ(SQLDropDatabaseName2("First", 0, "", ""), 0);
  const std::string text = FileText(Registry());
  size_t at = 0;
  for (auto& line : bad) {
    size_t found = text.find(line + '\n', at);
    ASSERT_NE(found, std::string::npos) << line;
    at = found + line.size();
  }
  EXPECT_EQ(text.find("First\t"), std::string::npos);
  EXPECT_NE(text.find("Last\t00010000000000000000\t" + root + "\t\n", at), std::string::npos) << text;
  EXPECT_EQ(Names(), "Short|Long|Crlf|Bin|Last|Added||");
}

// A registry file that cannot be read at all is a failure of every call,
// never an empty registry that the next rewrite would make real.
TEST_F(RegistryTest, AnUnreadableFileIsAFailureNotAnEmptyList) {
  std::filesystem::create_directories(Registry());  // a folder where the file should be
  EXPECT_EQ(Info("Any"), DRM_DBN_REGISTRY_OPEN);
  EXPECT_NE(NoSessionText(DRM_DBN_REGISTRY_OPEN).find(Registry()), std::string::npos);
  EXPECT_EQ(Add("Any", dbDir), DRM_DBN_REGISTRY_OPEN);
  char buf[64];
  uint32_t len = 0;
  EXPECT_EQ(RareListDatabaseNames(buf, sizeof buf, &len), DRM_DBN_REGISTRY_OPEN);
  uint32_t d = 0;
  EXPECT_EQ(RareOpenDatabase(S, "\tAny", &d, 0, "", ""), DRM_ERR_NO_SUCH_DATABASE);
  EXPECT_NE(ExtErr(DRM_ERR_NO_SUCH_DATABASE).find(Registry()), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(Registry()));
}

// Another process holding the registry lock makes calls wait for the
// engine's lock wait, then answer a status; once it lets go they work.
TEST_F(RegistryTest, WaitingForTheLockOfAnotherProcessIsBounded) {
  ASSERT_EQ(Add("Known", dbDir), 0);
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const std::string lockFile = root + "/config/dbnames.lock";
  pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    // Only the parent keeps the write end: if it dies, the read ends too.
    close(release[1]);
    int fd = open(lockFile.c_str(), O_RDWR);
    char c = 1;
    if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(ready[1], &c, 1) != 1) _exit(1);
    _exit(read(release[0], &c, 1) >= 0 ? 0 : 2);  // holds the lock until told
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);

  setenv("DAC_ENGINE_BUSY_MS", "300", 1);
  auto timed = [](auto call, int32_t& status) {
    auto start = std::chrono::steady_clock::now();
    status = call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  int32_t st = 0;
  auto ms = timed([&] { return Add("Other", dbDir); }, st);
  EXPECT_EQ(st, DRM_DBN_REGISTRY_IO);
  EXPECT_NE(NoSessionText(st).find("lock"), std::string::npos) << NoSessionText(st);
  EXPECT_GE(ms, 280);
  EXPECT_LT(ms, 3000);
  ms = timed([&] { return Info("Known"); }, st);
  EXPECT_EQ(st, DRM_DBN_REGISTRY_OPEN);
  EXPECT_GE(ms, 280);
  EXPECT_LT(ms, 3000);
  uint32_t d = 0;
  ms = timed([&] { return RareOpenDatabase(S, "\tKnown", &d, 0, "", ""); }, st);
  EXPECT_EQ(st, DRM_ERR_LOCK_WRITE);
  EXPECT_NE(ExtErr(st).find("registry"), std::string::npos) << ExtErr(st);
  EXPECT_LT(ms, 3000);

  ASSERT_EQ(write(release[1], &c, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(holder, &status, 0), holder);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
  EXPECT_EQ(Add("Other", dbDir), 0);
  EXPECT_EQ(RareOpenDatabase(S, "\tKnown", &d, 0, "", ""), 0);
}
