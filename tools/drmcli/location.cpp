#include "tools/drmcli/location.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace drmcli {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Home() {
  std::string h = Env("HOME");
  return h.empty() ? "/tmp" : h;
}

std::string XdgDir(const char* overrideVar, const char* xdgVar, const char* fallback) {
  std::string d = Env(overrideVar);
  if (!d.empty()) return d;
  std::string x = Env(xdgVar);
  if (x.empty() || x[0] != '/') x = Home() + fallback;
  return x + "/dacengine";
}

std::string DriveRoot(char letter) {
  char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  std::string env = Env((std::string("DAC_ENGINE_DRIVE_") + up).c_str());
  if (!env.empty()) return env;
  std::ifstream in(EngineConfigDir() + "/drives");
  std::string line;
  while (std::getline(in, line))
    if (line.size() > 2 && std::toupper(static_cast<unsigned char>(line[0])) == up && line[1] == '=')
      return line.substr(2);
  return XdgDir("DAC_ENGINE_DATA_DIR", "XDG_DATA_HOME", "/.local/share") + "/drives/" + up;
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

}  // namespace

std::string EngineConfigDir() { return XdgDir("DAC_ENGINE_CONFIG_DIR", "XDG_CONFIG_HOME", "/.config"); }

bool LooksLikePath(const std::string& l) {
  return l.find('/') != std::string::npos || l.find('\\') != std::string::npos ||
         (l.size() >= 2 && l[1] == ':');
}

std::string LocalFolder(const std::string& location) {
  std::string p = location;
  for (char& ch : p)
    if (ch == '\\') ch = '/';
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    std::string rest = p.substr(2);
    if (rest.empty() || rest[0] != '/') rest = "/" + rest;
    p = DriveRoot(p[0]) + rest;
  }
  // Components are matched one by one, without regard to case when the
  // exact name does not exist.
  std::string out;
  size_t pos = 0;
  bool absolute = !p.empty() && p[0] == '/';
  while (pos <= p.size()) {
    size_t slash = p.find('/', pos);
    std::string part = p.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    pos = slash == std::string::npos ? p.size() + 1 : slash + 1;
    if (part.empty()) continue;
    std::string parent = out.empty() ? (absolute ? "/" : ".") : out;
    std::string exact = out.empty() ? (absolute ? "/" + part : part) : out + "/" + part;
    if (!Exists(exact)) {
      if (DIR* dir = ::opendir(parent.c_str())) {
        while (dirent* e = ::readdir(dir))
          if (strcasecmp(e->d_name, part.c_str()) == 0) {
            exact = (out.empty() ? (absolute ? "/" : "") : out + "/") + e->d_name;
            break;
          }
        ::closedir(dir);
      }
    }
    out = exact;
  }
  return out.empty() ? (absolute ? "/" : ".") : out;
}

std::string MakeLocationFolder(const std::string& location) {
  std::string folder = LocalFolder(location);
  std::string cur;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = folder.find('/', pos + 1);
    cur = folder.substr(0, pos);
    if (cur.empty() || Exists(cur)) continue;
    if (::mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST)
      throw std::runtime_error("cannot make the folder " + cur + ": " + std::strerror(errno));
  }
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw std::runtime_error(folder + " is not a folder");
  return folder;
}

}  // namespace drmcli
