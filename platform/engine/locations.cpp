// Where databases live: the engine's data and configuration directories
// (XDG base directories unless overridden), the drive map for Windows-style
// locations, and the registry of named databases shared by processes.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/engine/engine_core.h"

namespace drmengine {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string HomeDir() {
  std::string h = Env("HOME");
  return h.empty() ? std::string("/tmp") : h;
}

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};

bool IsDir(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

void MakeDirs(const std::string& p) {
  std::string cur;
  std::stringstream ss(p);
  std::string part;
  if (!p.empty() && p[0] == '/') cur = "";
  while (std::getline(ss, part, '/')) {
    if (part.empty()) continue;
    cur += "/" + part;
    ::mkdir(cur.c_str(), 0700);
  }
}

// A path component that does not exist exactly is looked up without regard
// to case, since Windows-style locations name folders case-insensitively.
std::string MatchComponentsIgnoringCase(const std::string& path) {
  if (path.empty() || path[0] != '/' || Exists(path)) return path;
  std::string cur;
  std::stringstream ss(path);
  std::string part;
  while (std::getline(ss, part, '/')) {
    if (part.empty()) continue;
    std::string exact = cur + "/" + part;
    if (!Exists(exact)) {
      std::unique_ptr<DIR, DirCloser> dir(::opendir(cur.empty() ? "/" : cur.c_str()));
      while (dirent* e = dir ? ::readdir(dir.get()) : nullptr) {
        if (strcasecmp(e->d_name, part.c_str()) == 0) {
          exact = cur + "/" + e->d_name;
          break;
        }
      }
    }
    cur = exact;
  }
  return cur.empty() ? "/" : cur;
}

std::string DriveRoot(char letter) {
  char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  std::string env = Env((std::string("DAC_ENGINE_DRIVE_") + up).c_str());
  if (!env.empty()) return env;
  std::ifstream in(ConfigDir() + "/drives");
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 2 && std::toupper(static_cast<unsigned char>(line[0])) == up && line[1] == '=')
      return line.substr(2);
  }
  return DataDir() + "/drives/" + up;
}

bool IsDriveLetter(const std::string& s) { return s.size() == 1 && std::isalpha(static_cast<unsigned char>(s[0])); }

// The drive of a rooted path that names none ("\orvane\x"): as on the
// system such paths come from, the current drive, which is C unless
// $DAC_ENGINE_DEFAULT_DRIVE or a line "default=X" in <config>/drives says
// otherwise.
char DefaultDrive() {
  std::string env = Env("DAC_ENGINE_DEFAULT_DRIVE");
  if (IsDriveLetter(env)) return env[0];
  std::ifstream in(ConfigDir() + "/drives");
  std::string line;
  const std::string key = "default=";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0 && IsDriveLetter(line.substr(key.size()))) return line[key.size()];
  return 'C';
}

}  // namespace

std::string DataDir() {
  std::string d = Env("DAC_ENGINE_DATA_DIR");
  if (!d.empty()) return d;
  std::string x = Env("XDG_DATA_HOME");
  if (x.empty() || x[0] != '/') x = HomeDir() + "/.local/share";
  return x + "/dacengine";
}

std::string ConfigDir() {
  std::string d = Env("DAC_ENGINE_CONFIG_DIR");
  if (!d.empty()) return d;
  std::string x = Env("XDG_CONFIG_HOME");
  if (x.empty() || x[0] != '/') x = HomeDir() + "/.config";
  return x + "/dacengine";
}

int BusyWaitMs() {
  const int kDefault = 1000;
  int ms = kDefault;
  if (!ParseNumber(Env("DAC_ENGINE_BUSY_MS"), ms)) return kDefault;
  return ms < 0 ? 0 : ms;
}

namespace {

bool IsSeparator(char ch) { return ch == '/' || ch == '\\'; }

// The components of a path under a root that nothing may climb out of:
// "." is dropped and ".." at the root stays there, as a drive root is its
// own parent.
std::string UnderRoot(const std::string& root, const std::string& rest) {
  std::vector<std::string> parts;
  std::stringstream ss(rest);
  std::string part;
  while (std::getline(ss, part, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out = root;
  for (auto& p : parts) out += "/" + p;
  return out;
}

// Duplicate separators and a trailing one go.
std::string Tidy(const std::string& p) {
  std::string out;
  for (char ch : p) {
    if (ch == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(ch);
  }
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

int32_t MapLocation(const std::string& in, std::string& out, std::string& what) {
  std::string p = in;
  // A UNC name, \\host\share\path: another computer's share is not local;
  // this computer's administrative share "X$" is its drive X, and other
  // shares have no meaning here (a share table is no part of this system).
  if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1]) && (p[0] == '\\' || p[1] == '\\')) {
    for (char& ch : p)
      if (ch == '\\') ch = '/';
    size_t hostEnd = p.find('/', 2);
    std::string host = p.substr(2, hostEnd == std::string::npos ? std::string::npos : hostEnd - 2);
    std::string rest = hostEnd == std::string::npos ? "" : p.substr(hostEnd + 1);
    size_t shareEnd = rest.find('/');
    std::string share = rest.substr(0, shareEnd);
    rest = shareEnd == std::string::npos ? "" : rest.substr(shareEnd);
    if (host.empty() || !HostIsLocal(host)) {
      what = "location '" + in + "' names a share of host '" + host +
             "', which is not this computer; this engine opens local databases only";
      return DRM_ERR_NO_SUCH_DATABASE;
    }
    if (share.size() != 2 || !std::isalpha(static_cast<unsigned char>(share[0])) || share[1] != '$') {
      what = "location '" + in + "' names the share '" + share +
             "' of this computer; only the drive shares (C$, D$, ...) name local folders";
      return DRM_ERR_INVALID_PATH;
    }
    p = share.substr(0, 1) + ":" + rest;
  }
  // A rooted path written with backslashes and no drive is on the default
  // drive; one written with slashes only is this system's own path.
  if (!p.empty() && IsSeparator(p[0]) && p.find('\\') != std::string::npos)
    p = std::string(1, DefaultDrive()) + ":" + p;
  for (char& ch : p)
    if (ch == '\\') ch = '/';
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    out = MatchComponentsIgnoringCase(Tidy(UnderRoot(Tidy(DriveRoot(p[0])), p.substr(2))));
    return 0;
  }
  // Any other path is this computer's own, taken as the system resolves it.
  out = MatchComponentsIgnoringCase(Tidy(p));
  return 0;
}

bool HostIsLocal(const std::string& host) {
  if (host.empty() || strcasecmp(host.c_str(), "localhost") == 0) return true;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return false;
  if (strcasecmp(host.c_str(), name) == 0) return true;
  // The computer name may be given without its domain part, and clients
  // that keep it in a 16-character buffer send at most its first 15.
  std::string shortName(name);
  shortName = shortName.substr(0, shortName.find('.'));
  if (strcasecmp(host.c_str(), shortName.c_str()) == 0) return true;
  return shortName.size() > 15 && host.size() == 15 && strncasecmp(host.c_str(), shortName.c_str(), 15) == 0;
}

bool NamesAPath(const std::string& location) {
  return location.find('\\') != std::string::npos || location.find('/') != std::string::npos ||
         (location.size() >= 2 && location[1] == ':');
}

int32_t ResolveLocation(const std::string& name, std::string& path, std::string& what) {
  if (name.empty()) {
    what = "no database name or location was given";
    return DRM_ERR_NO_SUCH_DATABASE;
  }
  if (!NamesAPath(name)) {
    std::optional<NamedDatabase> found;
    std::string why;
    int32_t r = WithRegistry(false, [&](std::vector<NamedDatabase>& list) -> int32_t {
      if (const NamedDatabase* d = FindNamed(list, name)) found = *d;
      return 0;
    }, why);
    if (r) {
      what = "'" + name + "' cannot be looked up: " + why;
      return r == DRM_ERR_LOCK_WRITE ? r : DRM_ERR_NO_SUCH_DATABASE;
    }
    if (!found) {
      what = "'" + name + "' is neither a named database nor a location";
      return DRM_ERR_NO_SUCH_DATABASE;
    }
    if (!found->Readable()) {
      what = "named database '" + found->name + "' cannot be used: " + found->problem;
      return DRM_ERR_NO_SUCH_DATABASE;
    }
    const NamedDatabase& db = *found;
    if (int32_t mapped = MapLocation(db.dataPath.empty() ? db.dictPath : db.dataPath, path, what)) return mapped;
    if (!IsDir(path)) {
      what = "the folder '" + path + "' of named database '" + db.name + "' does not exist";
      return DRM_ERR_INVALID_PATH;
    }
    return 0;
  }
  if (int32_t r = MapLocation(name, path, what)) return r;
  if (!Exists(path)) {
    what = "the location '" + name + "' (folder '" + path + "') does not exist";
    return DRM_ERR_INVALID_PATH;
  }
  return 0;
}

// ---- Registry ----------------------------------------------------------------

namespace {

std::string HexFlags(const uint8_t* f) {
  static const char* hex = "0123456789abcdef";
  std::string s;
  for (int i = 0; i < 10; ++i) {
    s.push_back(hex[f[i] >> 4]);
    s.push_back(hex[f[i] & 15]);
  }
  return s;
}

// The flags field: exactly 20 hex digits, two per byte.
bool ParseFlags(const std::string& s, uint8_t* f) {
  if (s.size() != 20) return false;
  uint8_t parsed[10];
  for (size_t i = 0; i < 10; ++i)
    if (!ParseNumber(std::string_view(s).substr(2 * i, 2), parsed[i], 16)) return false;
  std::memcpy(f, parsed, sizeof parsed);
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t t = line.find('\t', start);
    parts.push_back(line.substr(start, t == std::string::npos ? std::string::npos : t - start));
    if (t == std::string::npos) break;
    start = t + 1;
  }
  return parts;
}

std::string ByteText(char ch) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(ch)));
  return b;
}

// One line of the file as an entry. A line that cannot be read keeps its
// name (the text before its first tab) and its bytes, and says why.
NamedDatabase ReadLine(const std::string& line, size_t number, const std::string& file) {
  NamedDatabase d;
  d.line = number;
  auto parts = SplitTabs(line);
  d.name = parts[0];
  const std::string where = "line " + std::to_string(number) + " of '" + file + "'";
  auto control = std::find_if(line.begin(), line.end(), [](char ch) { return ch != '\t' && IsControlCharacter(ch); });
  if (control != line.end()) {
    d.problem = where + " holds the control character " + ByteText(*control);
  } else if (parts.size() != 4) {
    d.problem = where + " has " + std::to_string(parts.size()) + " tab-separated fields instead of 4";
  } else if (!IsValidDatabaseName(parts[0])) {
    d.problem = where + " names '" + parts[0] + "', which is not a valid database name";
  } else if (!ParseFlags(parts[1], d.flags)) {
    d.problem = where + " has flags '" + parts[1] + "', which are not 20 hexadecimal digits";
  } else {
    d.dictPath = parts[2];
    d.dataPath = parts[3];
  }
  if (!d.Readable()) d.unreadLine = line;
  return d;
}

// Takes a file lock within `waitMs`, trying again every few milliseconds;
// false when another holder kept it for longer.
bool LockWithin(int fd, int operation, int waitMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (::flock(fd, operation | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return true;  // a file system without locks: go on unlocked
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(5)));
  }
}

// The whole file; false (with `what`) when it exists but cannot be read. A
// registry that cannot be read must not pass for an empty one: the next
// rewrite would drop every entry.
bool ReadWhole(const std::string& file, std::string& text, std::string& what) {
  text.clear();
  UniqueFd in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.Valid()) {
    if (errno == ENOENT) return true;
    what = "cannot open the registry of named databases '" + file + "': " + std::strerror(errno);
    return false;
  }
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(in.Get(), buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      what = "cannot read the registry of named databases '" + file + "': " + std::strerror(errno);
      return false;
    }
    text.append(buf, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool IsValidDatabaseName(const std::string& n) {
  if (n.empty() || n.size() > 20) return false;
  for (char ch : n)
    if (IsControlCharacter(ch) || ch == '\\' || ch == '/' || ch == ':') return false;
  return true;
}

const NamedDatabase* FindNamed(const std::vector<NamedDatabase>& list, const std::string& name) {
  if (name.empty()) return nullptr;  // a line without a name is nobody's entry
  for (auto& d : list)
    if (strcasecmp(d.name.c_str(), name.c_str()) == 0) return &d;
  return nullptr;
}

int32_t WithRegistry(bool write, const RegistryFn& fn, std::string& what) {
  std::string dir = ConfigDir();
  std::string file = dir + "/dbnames";
  if (write) MakeDirs(dir);
  // Closing the descriptor releases the lock.
  UniqueFd lock;
  if (IsDir(dir)) {
    lock.Reset(::open((dir + "/dbnames.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lock.Valid() && write) {
      what = "cannot open the registry lock file in '" + dir + "': " + std::strerror(errno);
      return DRM_DBN_REGISTRY_OPEN;
    }
    const int waitMs = BusyWaitMs();
    if (lock.Valid() && !LockWithin(lock.Get(), write ? LOCK_EX : LOCK_SH, waitMs)) {
      what = "another process held the lock of the registry of named databases '" + file + "' for more than " +
             std::to_string(waitMs) + " ms";
      return DRM_ERR_LOCK_WRITE;
    }
  }

  std::string text;
  if (!ReadWhole(file, text, what)) return DRM_DBN_REGISTRY_OPEN;
  std::vector<NamedDatabase> list;
  size_t number = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    list.push_back(ReadLine(line, number, file));
  }
  int32_t s = fn(list);
  if (s != 0 || !write) return s;

  std::string out = "# named databases: name, flags (10 bytes hex), dictionary path, data path\n";
  for (auto& d : list) {
    if (!d.Readable())
      out += d.unreadLine;
    else
      out += d.name + '\t' + HexFlags(d.flags) + '\t' + d.dictPath + '\t' + d.dataPath;
    out += '\n';
  }
  std::string tmp = file + ".tmp." + std::to_string(::getpid());
  {
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    bool ok = fd.Valid() && WriteAll(fd.Get(), out) && ::fsync(fd.Get()) == 0;
    if (ok) ok = ::close(fd.Release()) == 0;
    if (!ok) {
      what = "cannot write the registry file '" + tmp + "': " + std::strerror(errno);
      ::unlink(tmp.c_str());
      return DRM_DBN_REGISTRY_IO;
    }
  }
  if (::rename(tmp.c_str(), file.c_str()) != 0) {
    what = "cannot replace the registry file '" + file + "': " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return DRM_DBN_REGISTRY_IO;
  }
  if (UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); folder.Valid())
    ::fsync(folder.Get());  // the rename itself survives a crash
  return 0;
}

}  // namespace drmengine
