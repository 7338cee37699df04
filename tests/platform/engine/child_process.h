// Child processes for the engine tests that need more than one process. A
// child is forked at construction, waits until Start(), runs its body (which
// opens its own session: no connection may cross a fork) and exits with the
// body's result. What it has to tell goes through its report pipe; the
// parent reads it while the child runs, so the child never blocks on a full
// pipe.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "engine/drm.h"

namespace enginetest {

// Scales the figures of the long multi-process tests: the sanitizer build
// runs each step several times slower, and its figures only need to show
// the same properties, not the same statistics.
inline int Scaled(int full) {
#if defined(__SANITIZE_ADDRESS__)
  return full / 5 > 0 ? full / 5 : 1;
#else
  return full;
#endif
}

// How many times slower than a release build the engine runs here, for
// the waits that must land in the middle of its work.
inline int SlowerBy() {
#if defined(__SANITIZE_ADDRESS__)
  return 4;
#else
  return 1;
#endif
}

inline double NowSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Bytes of address space the process uses now.
inline size_t AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  statm >> pages;
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Caps the address space at what is in use plus `headroom` bytes; false
// when the limit cannot be set.
inline bool CapAddressSpace(size_t headroom) {
  const rlim_t cap = AddressSpaceInUse() + headroom;
  const rlimit limit{cap, cap};
  return setrlimit(RLIMIT_AS, &limit) == 0;
}

// Writes all of `size` bytes, or reports that it could not.
inline bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

class Child {
 public:
  // body(reportFd) runs in the child and returns its exit code.
  template <typename Body>
  explicit Child(Body&& body) {
    int start[2], report[2];
    if (pipe(start) != 0) return;
    if (pipe(report) != 0) {
      close(start[0]);
      close(start[1]);
      return;
    }
    FPid = fork();
    if (FPid == 0) {
      close(start[1]);
      close(report[0]);
      char go = 0;
      if (::read(start[0], &go, 1) != 1) _exit(120);
      close(start[0]);
      int rc = body(report[1]);
      _exit(rc);
    }
    close(start[0]);
    close(report[1]);
    FStart = start[1];
    FReport = report[0];
    if (FPid < 0) Close();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (FPid > 0 && !FReaped) {
      ::kill(FPid, SIGKILL);
      Wait();
    }
    Close();
  }

  bool Valid() const { return FPid > 0; }
  pid_t Pid() const { return FPid; }

  void Start() {
    char go = 1;
    if (FStart >= 0) {
      WriteAll(FStart, &go, 1);
      close(FStart);
      FStart = -1;
    }
  }

  // Reads what the child reports until it closes its end or `deadline`
  // (a NowSeconds() value) passes; true when the end was reached.
  bool ReadReport(double deadline = 1e18) {
    char buf[4096];
    while (FReport >= 0) {
      double left = deadline - NowSeconds();
      if (left <= 0) return false;
      pollfd p{FReport, POLLIN, 0};
      int ms = left > 1e6 ? -1 : static_cast<int>(left * 1000) + 1;
      int r = poll(&p, 1, ms);
      if (r < 0 && errno == EINTR) continue;
      if (r == 0) return false;
      ssize_t n = ::read(FReport, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        close(FReport);
        FReport = -1;
        return true;
      }
      FReceived.append(buf, static_cast<size_t>(n));
    }
    return true;
  }
  const std::string& Report() const { return FReceived; }
  // Reads until the report holds at least `bytes` bytes; false when the
  // child ended or the deadline passed first.
  bool WaitForReport(size_t bytes, double deadline) {
    while (FReceived.size() < bytes) {
      char buf[256];
      double left = deadline - NowSeconds();
      if (FReport < 0 || left <= 0) return false;
      pollfd p{FReport, POLLIN, 0};
      int r = poll(&p, 1, static_cast<int>(left * 1000) + 1);
      if (r < 0 && errno == EINTR) continue;
      if (r == 0) return false;
      ssize_t n = ::read(FReport, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      FReceived.append(buf, static_cast<size_t>(n));
    }
    return true;
  }

  void Kill() {
    if (FPid > 0 && !FReaped) ::kill(FPid, SIGKILL);
  }

  // The child's exit code, or 128 + the signal that ended it; -1 when it
  // cannot be waited for.
  int Wait() {
    if (FPid <= 0) return -1;
    if (!FReaped) {
      while (waitpid(FPid, &FStatus, 0) < 0)
        if (errno != EINTR) return -1;
      FReaped = true;
    }
    if (WIFEXITED(FStatus)) return WEXITSTATUS(FStatus);
    if (WIFSIGNALED(FStatus)) return 128 + WTERMSIG(FStatus);
    return -1;
  }

  // Reads the whole report, then waits for the end of the child.
  int Finish() {
    ReadReport();
    return Wait();
  }

 private:
  void Close() {
    if (FStart >= 0) close(FStart);
    if (FReport >= 0) close(FReport);
    FStart = FReport = -1;
  }

  pid_t FPid = -1;
  int FStart = -1, FReport = -1;
  bool FReaped = false;
  int FStatus = 0;
  std::string FReceived;
};

// The engine as a child sees it: its own session on the database folder.
struct ChildSession {
  uint32_t s = 0, d = 0;
  ChildSession() = default;
  ChildSession(const ChildSession&) = delete;
  ChildSession& operator=(const ChildSession&) = delete;
  ~ChildSession() {
    if (s) RareEndSession(s);
  }
  bool Open(const std::string& dir) {
    return RareBeginSession(&s, "", "", "") == 0 && RareOpenDatabase(s, dir.c_str(), &d, 0, "", "") == 0;
  }
  uint32_t Table(const char* name, int32_t mode = 0) {
    uint32_t t = 0;
    return RareOpenTable(s, d, name, 0, mode, &t) == 0 ? t : 0;
  }
  std::string Text(int32_t status) {
    char buf[DRM_EXT_ERR_MAX];
    uint32_t len = 0;
    RareGetExtErrStr(s, status, buf, sizeof buf, &len);
    return std::string(buf, len);
  }
};

// The number of columns the catalog shows for table handle `t`, -1 when it
// cannot be read.
inline int CountColumns(uint32_t s, uint32_t t) {
  uint32_t info[DRM_COLUMNINFO_SIZE / 4] = {DRM_COLUMNINFO_SIZE};
  if (RareGetTableColumnInfo(s, t, info, DRM_COLUMNINFO_SIZE) != 0) return -1;
  int n = 0;
  int32_t st = RareMove(s, info[1], DRM_MOVE_FIRST);
  for (; st == 0; st = RareMove(s, info[1], DRM_MOVE_NEXT)) ++n;
  RareCloseTable(s, info[1]);
  return st == DRM_ERR_NO_CURRENT_RECORD ? n : -1;
}

// A plain record of figures written whole to the report pipe and read back.
template <typename T>
bool Send(int fd, const T& v) {
  return WriteAll(fd, &v, sizeof v);
}
template <typename T>
bool Receive(const std::string& report, size_t index, T& v) {
  if (report.size() < (index + 1) * sizeof v) return false;
  std::memcpy(&v, report.data() + index * sizeof v, sizeof v);
  return true;
}

}  // namespace enginetest
