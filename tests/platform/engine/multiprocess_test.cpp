// Several processes on one database: concurrent writers lose nothing, and a
// writer killed in the middle of a transaction leaves committed data intact.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "engine_fixture.h"

using namespace enginetest;

namespace {

// Runs in a child process: its own session on the database folder.
int32_t ChildInsert(const std::string& dir, int first, int count, bool holdInTransaction, int notifyFd) {
  uint32_t s = 0, d = 0, t = 0;
  if (RareBeginSession(&s, "", "", "") || RareOpenDatabase(s, dir.c_str(), &d, 0, "", "") ||
      RareOpenTable(s, d, "Shared", 0, 0, &t))
    return 1;
  if (holdInTransaction && RareSetTransact(s, DRM_TRANS_START, "killme")) return 2;
  for (int i = first; i < first + count; ++i) {
    int32_t st;
    do {
      st = RareInitUpdate(s, t, DRM_INITUPD_NEW);
      if (!st) st = RareSetColumn(s, t, 1, &i, 4, 0, 0, 0);
      if (!st) st = RareUpdateRecord(s, t);
      if (st == DRM_ERR_LOCK_WRITE) usleep(1000);
    } while (st == DRM_ERR_LOCK_WRITE);
    if (st) return 3;
  }
  if (holdInTransaction) {
    char ok = 1;
    if (write(notifyFd, &ok, 1) != 1) return 4;
    pause();  // killed here, transaction open
  }
  RareEndSession(s);
  return 0;
}

}  // namespace

class MultiProcessTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    CreateTable("Shared", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
    // No connection may cross a fork: the parent reopens after the children ran.
    RareEndSession(S);
    S = 0;
  }
  std::vector<int32_t> ReadAll() {
    EXPECT_EQ(RareBeginSession(&S, "", "", ""), 0);
    EXPECT_EQ(RareOpenDatabase(S, dbDir.c_str(), &D, 0, "", ""), 0);
    uint32_t t = Open("Shared");
    auto v = Scan(t, 1);
    RareCloseTable(S, t);
    return v;
  }
};

TEST_F(MultiProcessTest, ConcurrentWritersLoseNothing) {
  setenv("DAC_ENGINE_BUSY_MS", "2000", 1);
  std::vector<pid_t> kids;
  for (int k = 0; k < 2; ++k) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(ChildInsert(dbDir, k * 1000, 150, false, -1));
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  auto all = ReadAll();
  std::set<int32_t> distinct(all.begin(), all.end());
  EXPECT_EQ(all.size(), 300u);
  EXPECT_EQ(distinct.size(), 300u);
  uint32_t t = Open("Shared"), n = 0;
  ASSERT_EQ(RareGetRecordCount(t, &n), 0);
  EXPECT_EQ(n, 300u);
}

TEST_F(MultiProcessTest, KilledWriterLeavesCommittedDataIntact) {
  pid_t first = fork();
  ASSERT_GE(first, 0);
  if (first == 0) _exit(ChildInsert(dbDir, 0, 20, false, -1));
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  ASSERT_EQ(WEXITSTATUS(status), 0);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t victim = fork();
  ASSERT_GE(victim, 0);
  if (victim == 0) _exit(ChildInsert(dbDir, 500, 40, true, fds[1]));
  char ok = 0;
  ASSERT_EQ(read(fds[0], &ok, 1), 1);
  ASSERT_EQ(kill(victim, SIGKILL), 0);
  ASSERT_EQ(waitpid(victim, &status, 0), victim);
  EXPECT_TRUE(WIFSIGNALED(status));
  close(fds[0]);
  close(fds[1]);

  auto all = ReadAll();
  ASSERT_EQ(all.size(), 20u);
  EXPECT_EQ(all.front(), 0);
  EXPECT_EQ(all.back(), 19);
  // The lock died with the writer: the table takes new records at once.
  uint32_t t = Open("Shared");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, 1, 99), 0);
  EXPECT_EQ(RareUpdateRecord(S, t), 0);
  uint32_t n = 0;
  ASSERT_EQ(RareGetRecordCount(t, &n), 0);
  EXPECT_EQ(n, 21u);
}
