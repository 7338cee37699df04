#include "tools/drmcli/location.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "engine/drm.h"
#include "tools/drmcli/engine.h"

namespace drmcli {
namespace {

constexpr uint32_t kNoSession = 0xFFFFFFFFu;

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

}  // namespace

bool LooksLikePath(const std::string& location) {
  const int32_t answer = DrmEngineLocationIsPath(location.c_str());
  Check(answer < 0 ? answer : 0, kNoSession, "DrmEngineLocationIsPath");
  return answer == 1;
}

std::string LocalFolder(const std::string& location) {
  std::vector<char> buf(1024);
  uint32_t len = 0;
  int32_t st = DrmEngineLocalPath(location.c_str(), buf.data(), static_cast<uint32_t>(buf.size()), &len);
  if (st == DRM_ERR_BUFFER_TOO_SMALL) {
    buf.resize(len + 1);
    st = DrmEngineLocalPath(location.c_str(), buf.data(), static_cast<uint32_t>(buf.size()), &len);
  }
  Check(st, kNoSession, "DrmEngineLocalPath");
  return std::string(buf.data(), len);
}

std::string MakeLocationFolder(const std::string& location) {
  std::string folder = LocalFolder(location);
  std::string cur;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = folder.find('/', pos + 1);
    cur = folder.substr(0, pos);
    if (cur.empty() || Exists(cur)) continue;
    if (::mkdir(cur.c_str(), 0700) != 0 && errno != EEXIST)
      throw std::runtime_error("cannot make the folder " + cur + ": " + std::strerror(errno));
  }
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw std::runtime_error(folder + " is not a folder");
  return folder;
}

}  // namespace drmcli
