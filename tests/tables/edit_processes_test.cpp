// Editing from several processes: two processes editing one record lose no
// update (the later writer gets the engine's conflict or lock status as
// EPvDrmEngineError, with its text, and can cancel and repeat), and a
// process killed during a run of posts inside transactions loses only what
// it had not committed. Children are forked before the parent opens any
// engine connection; no connection crosses a fork.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "errors/pv_errors.h"
#include "sessions/database.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Row;
using ::testing::AnyOf;
using ::testing::HasSubstr;

// A one-way byte channel between processes.
struct Channel {
  int fd[2] = {-1, -1};
  Channel() { EXPECT_EQ(pipe(fd), 0); }
  ~Channel() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void Send(char c) { EXPECT_EQ(write(fd[1], &c, 1), 1); }
  // The next byte, or 0 when every writer has gone.
  char Receive() {
    char c = 0;
    return read(fd[0], &c, 1) == 1 ? c : 0;
  }
  void CloseWriteEnd() {
    close(fd[1]);
    fd[1] = -1;
  }
};

class TPvTableEditProcesses : public tabletest::TableTest {
 protected:
  std::vector<uint32_t> ids;

  // Creates Table (N int32) holding Values, then ends the raw session so
  // that no engine connection exists when the children are forked.
  void Prepare(const std::string& Table, const std::vector<int32_t>& Values) {
    ids = Create(Table, {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
    std::vector<Row> rows;
    for (int32_t v : Values) rows.push_back({B(v)});
    Insert(Table, ids, rows);
    ASSERT_EQ(RareEndSession(RS), 0);
    RS = RD = 0;
  }

  // Runs Body in a child process, which exits with Body's result (99 when it
  // raised).
  static pid_t Spawn(const std::function<int()>& Body) {
    const pid_t pid = fork();
    if (pid == 0) {
      int code = 99;
      try {
        code = Body();
      } catch (...) {
      }
      _exit(code);
    }
    return pid;
  }

  static int ExitCode(pid_t Pid) {
    int status = 0;
    if (waitpid(Pid, &status, 0) != Pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // The raw session again, after the children have ended.
  void Reopen() {
    ASSERT_EQ(RareBeginSession(&RS, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(RS, ("\t" + dir).c_str(), &RD, 0, "", ""), 0);
  }

  std::vector<int32_t> Values(const std::string& Table) {
    std::vector<int32_t> seen;
    uint32_t t = 0;
    EXPECT_EQ(RareOpenTable(RS, RD, Table.c_str(), 0, 0, &t), 0);
    for (int32_t s = RareMove(RS, t, DRM_MOVE_FIRST); s == 0; s = RareMove(RS, t, DRM_MOVE_NEXT)) {
      int32_t v = 0;
      uint32_t length = 0;
      EXPECT_EQ(RareRetrieveColumn(RS, t, ids[0], &v, sizeof v, &length, nullptr), 0);
      seen.push_back(v);
    }
    RareCloseTable(RS, t);
    return seen;
  }

  // One increment of the first record's N; the engine statuses of a
  // conflict come back as their code, anything else raises.
  static int32_t Increment(TPvTable* t) {
    t->First();
    t->Edit();
    t->FieldByName("N")->SetAsInteger(t->FieldByName("N")->AsInteger() + 1);
    try {
      t->Post();
      return 0;
    } catch (const EPvDrmEngineError& e) {
      t->Cancel();
      if (e.ErrorCode() != DRM_ERR_RECORD_LOCKED && e.ErrorCode() != DRM_ERR_LOCK_WRITE) throw;
      return e.ErrorCode();
    }
  }
};

TEST_F(TPvTableEditProcesses, TheLaterWriterOfARecordGetsTheConflictAndLosesNothing) {
  Prepare("Counter", {0});
  Channel edited, goB, goA;
  const pid_t a = Spawn([&] {
    auto t = Table("Counter");
    t->Open();
    t->Edit();
    t->FieldByName("N")->SetAsInteger(t->FieldByName("N")->AsInteger() + 1);
    edited.Send('e');
    if (goA.Receive() != 'g') return 2;
    try {
      t->Post();
      return 3;  // the other process's update would be lost
    } catch (const EPvDrmEngineError& e) {
      if (e.ErrorCode() != DRM_ERR_RECORD_LOCKED) return 4;
      if (e.Message().find("was changed by another user since it was read") == std::string::npos) return 5;
    }
    // Still editing, with the user's value; the engine row is the other's.
    if (t->State() != dsEdit || t->FieldByName("N")->AsInteger() != 1) return 6;
    t->Cancel();
    if (Increment(t.get()) != 0) return 7;
    return 0;
  });
  const pid_t b = Spawn([&] {
    if (goB.Receive() != 'g') return 2;
    auto t = Table("Counter");
    t->Open();
    return Increment(t.get()) == 0 ? 0 : 3;
  });
  ASSERT_EQ(edited.Receive(), 'e');
  goB.Send('g');
  EXPECT_EQ(ExitCode(b), 0);
  goA.Send('g');
  EXPECT_EQ(ExitCode(a), 0);
  Reopen();
  EXPECT_EQ(Values("Counter"), (std::vector<int32_t>{2}));
}

TEST_F(TPvTableEditProcesses, AWriterInsideATransactionHoldsOthersOffUntilItCommits) {
  Prepare("Counter", {0, 100});
  Channel posted, tried, done;
  const pid_t a = Spawn([&] {
    auto t = Table("Counter");
    t->Open();
    t->Database()->StartTransaction();
    t->Last();
    t->Edit();
    t->FieldByName("N")->SetAsInteger(101);
    t->Post();  // holds the storage's write lock until the commit
    posted.Send('p');
    if (tried.Receive() != 't') return 2;
    t->Database()->Commit();
    done.Send('d');
    return 0;
  });
  const pid_t b = Spawn([&] {
    if (posted.Receive() != 'p') return 2;
    auto t = Table("Counter");
    t->Open();
    t->Edit();
    t->FieldByName("N")->SetAsInteger(1);
    int result = 3;
    try {
      t->Post();
    } catch (const EPvDrmEngineError& e) {
      // After the engine's lock wait: the lock or the conflict status, with
      // a text saying what happened.
      const bool expected = (e.ErrorCode() == DRM_ERR_RECORD_LOCKED || e.ErrorCode() == DRM_ERR_LOCK_WRITE) &&
                            e.ErrorCount() > 0 && !e.Message().empty();
      result = expected ? 0 : 4;
    }
    tried.Send('t');
    if (result != 0) return result;
    if (t->State() != dsEdit) return 5;
    if (done.Receive() != 'd') return 6;
    t->Post();  // the same edit, once the lock is free
    return 0;
  });
  EXPECT_EQ(ExitCode(a), 0);
  EXPECT_EQ(ExitCode(b), 0);
  Reopen();
  EXPECT_EQ(Values("Counter"), (std::vector<int32_t>{1, 101}));
}

TEST_F(TPvTableEditProcesses, TwoProcessesIncrementingOneRecordLoseNoUpdate) {
  Prepare("Counter", {0});
  constexpr int kEach = 150;
  auto worker = [&] {
    auto t = Table("Counter");
    t->Open();
    int done = 0, conflicts = 0;
    while (done < kEach) {
      if (Increment(t.get()) == 0)
        ++done;
      else if (++conflicts > 100 * kEach)
        return 2;
    }
    return 0;
  };
  const pid_t a = Spawn(worker);
  const pid_t b = Spawn(worker);
  EXPECT_EQ(ExitCode(a), 0);
  EXPECT_EQ(ExitCode(b), 0);
  Reopen();
  EXPECT_EQ(Values("Counter"), (std::vector<int32_t>{2 * kEach}));
}

TEST_F(TPvTableEditProcesses, AKilledProcessLosesOnlyItsUncommittedPosts) {
  Prepare("Batches", {});
  constexpr int kBatch = 40;
  std::mt19937 random(20240229);
  for (int trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    Channel committed;
    int before = 0;
    if (trial > 0) {
      Reopen();
      before = static_cast<int>(Values("Batches").size()) / kBatch;
      ASSERT_EQ(RareEndSession(RS), 0);
      RS = RD = 0;
    }
    const pid_t victim = Spawn([&]() -> int {
      auto t = Table("Batches");
      t->Open();
      TPvDatabase* db = t->Database();
      for (int k = before + 1;; ++k) {
        db->StartTransaction();
        for (int i = 0; i < kBatch; ++i) {
          t->Append();
          t->FieldByName("N")->SetAsInteger(k * 1000 + i);
          t->Post();
        }
        db->Commit();
        committed.Send('c');
      }
    });
    committed.CloseWriteEnd();
    // Let a few batches commit, then kill at a point inside the run.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(committed.Receive(), 'c');
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 3000)(random)));
    kill(victim, SIGKILL);
    EXPECT_EQ(ExitCode(victim), 128 + SIGKILL);
    int reported = 3;
    while (committed.Receive() == 'c') ++reported;

    Reopen();
    const std::vector<int32_t> values = Values("Batches");
    ASSERT_EQ(values.size() % kBatch, 0u) << "a batch was cut in half";
    const int batches = static_cast<int>(values.size()) / kBatch - before;
    // The kill may land between a commit and its report.
    EXPECT_THAT(batches, AnyOf(reported, reported + 1));
    for (size_t j = 0; j < values.size(); ++j)
      ASSERT_EQ(values[j], static_cast<int32_t>((j / kBatch + 1) * 1000 + j % kBatch)) << j;
    ASSERT_EQ(RareEndSession(RS), 0);
    RS = RD = 0;
  }
}

}  // namespace
