// The named-database calls over the registry of locations.cpp, and the
// mapping of locations for callers. Their failures belong to no session.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/engine/entry.h"

namespace drmengine {
namespace {

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool IsDirectory(const std::string& path) {
  struct stat sb;
  return ::stat(path.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

// What an add or modify asks for.
struct NamedRequest {
  std::string name;
  uint8_t flags[10] = {};
  std::string dict, data;
};

NamedRequest MakeRequest(const char* name, const uint8_t* flags, uint16_t dictPathLen, const char* dictPath,
                         uint16_t dataPathLen, const char* dataPath) {
  NamedRequest r;
  r.name = name;
  if (flags) std::memcpy(r.flags, flags, sizeof r.flags);
  r.dict = dictPath ? std::string(dictPath, strnlen(dictPath, dictPathLen)) : "";
  r.data = dataPath ? std::string(dataPath, strnlen(dataPath, dataPathLen)) : "";
  return r;
}

// A path with a control character could never be written to the
// tab-separated registry faithfully (a TAB splits the line, a line break
// starts a new entry), so it is refused as invalid.
int32_t CheckPathText(const std::string& path, const char* which, const std::string& name) {
  auto bad = std::find_if(path.begin(), path.end(), IsControlCharacter);
  if (bad == path.end()) return 0;
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(*bad)));
  return Fail(nullptr, DRM_DBN_INVALID_PATH,
              std::string("the ") + which + " path of named database '" + name + "' holds the control character " +
                  code);
}

// The dictionary folder must exist (flag byte 2 makes it, for its owner
// only), and so must the data folder when one is given.
int32_t CheckPaths(const NamedRequest& r) {
  if (int32_t st = CheckPathText(r.dict, "dictionary", r.name)) return st;
  if (int32_t st = CheckPathText(r.data, "data", r.name)) return st;
  if (r.dict.empty())
    return Fail(nullptr, DRM_DBN_INVALID_PATH, "a dictionary path is required for named database '" + r.name + "'");
  std::string dictDir, dataDir, what;
  if (MapLocation(r.dict, dictDir, what) || (!r.data.empty() && MapLocation(r.data, dataDir, what)))
    return Fail(nullptr, DRM_DBN_INVALID_PATH, "named database '" + r.name + "': " + what);
  if (r.flags[2]) {
    for (size_t i = 1; i <= dictDir.size(); ++i)
      if (i == dictDir.size() || dictDir[i] == '/') ::mkdir(dictDir.substr(0, i).c_str(), 0700);
  }
  if (!IsDirectory(dictDir))
    return Fail(nullptr, DRM_DBN_INVALID_PATH,
                "the dictionary folder '" + dictDir + "' of named database '" + r.name + "' does not exist");
  if (!r.data.empty()) {
    if (!IsDirectory(dataDir))
      return Fail(nullptr, DRM_DBN_INVALID_PATH,
                  "the data folder '" + dataDir + "' of named database '" + r.name + "' does not exist");
  }
  return 0;
}

void Assign(NamedDatabase& d, const NamedRequest& r, const std::string& name) {
  d = NamedDatabase();
  d.name = name;
  std::memcpy(d.flags, r.flags, sizeof d.flags);
  d.dictPath = r.dict;
  d.dataPath = r.data;
}

// Runs a registry walk; a status of its own is recorded with `what`. Not
// getting the lock in time is "cannot update" for changes and "cannot open"
// for look-ups.
int32_t Registry(bool write, const RegistryFn& fn) {
  std::string what;
  int32_t r = WithRegistry(write, fn, what);
  if (r == DRM_ERR_LOCK_WRITE) r = write ? DRM_DBN_REGISTRY_IO : DRM_DBN_REGISTRY_OPEN;
  if (r && !what.empty()) return Fail(nullptr, r, what);
  return r;
}

std::string InvalidName(const char* name) {
  return std::string("'") + (name ? name : "") +
         "' is not a valid database name (1 to 20 characters, no control characters or separators)";
}

std::string NotNamed(const std::string& name) { return "'" + name + "' is not a named database of this computer"; }

}  // namespace
}  // namespace drmengine

using namespace drmengine;

extern "C" {

int32_t SQLGetDatabaseInfo2(const char* name, uint8_t* flags, uint16_t* dictPathSize, char* dictPath,
                            uint16_t* dataPathSize, char* dataPath, const char*, const char*) noexcept {
  return Entry(__func__, [&](Engine&) -> int32_t {
    if (!name || !flags || !dictPathSize || !dictPath || !dataPathSize || !dataPath)
      return Fail(nullptr, DRM_DBN_BUFFER_LENGTH, "a buffer or size of the named-database query is missing");
    std::optional<NamedDatabase> found;
    if (int32_t r = Registry(false, [&](std::vector<NamedDatabase>& list) -> int32_t {
          if (const NamedDatabase* d = FindNamed(list, name)) found = *d;
          return 0;
        }))
      return r;
    if (!found) return Fail(nullptr, DRM_DBN_NAME_UNKNOWN, NotNamed(name));
    if (!found->Readable())
      return Fail(nullptr, DRM_DBN_GENERAL, "named database '" + found->name + "' cannot be read: " + found->problem);
    const std::string& dict = found->dictPath;
    const std::string& data = found->dataPath.empty() ? found->dictPath : found->dataPath;
    if (dict.size() + 1 > *dictPathSize || data.size() + 1 > *dataPathSize) {
      *dictPathSize = static_cast<uint16_t>(dict.size() + 1);
      *dataPathSize = static_cast<uint16_t>(data.size() + 1);
      return Fail(nullptr, DRM_DBN_BUFFER_LENGTH,
                  "the path buffers are smaller than the paths of '" + std::string(name) + "'");
    }
    std::memcpy(flags, found->flags, sizeof found->flags);
    std::memcpy(dictPath, dict.c_str(), dict.size() + 1);
    std::memcpy(dataPath, data.c_str(), data.size() + 1);
    *dictPathSize = static_cast<uint16_t>(dict.size() + 1);
    *dataPathSize = static_cast<uint16_t>(data.size() + 1);
    return 0;
  });
}

int32_t SQLAddDatabaseName2(const char* name, const uint8_t* flags, uint16_t dictPathLen, const char* dictPath,
                            uint16_t dataPathLen, const char* dataPath, int32_t, const char*, const char*) noexcept {
  return Entry(__func__, [&](Engine&) -> int32_t {
    if (!name || !IsValidDatabaseName(name)) return Fail(nullptr, DRM_DBN_INVALID_NAME, InvalidName(name));
    NamedRequest req = MakeRequest(name, flags, dictPathLen, dictPath, dataPathLen, dataPath);
    if (int32_t r = CheckPaths(req)) return r;
    return Registry(true, [&](std::vector<NamedDatabase>& list) -> int32_t {
      if (const NamedDatabase* d = FindNamed(list, req.name))
        return Fail(nullptr, DRM_DBN_NAME_EXISTS, "a named database '" + d->name + "' already exists");
      Assign(list.emplace_back(), req, req.name);
      return 0;
    });
  });
}

int32_t SQLModifyDatabaseInfo2(const char* oldName, const char* newName, uint16_t dictPathLen, const char* dictPath,
                               uint16_t dataPathLen, const char* dataPath, const uint8_t* flags, const char*,
                               const char*) noexcept {
  return Entry(__func__, [&](Engine&) -> int32_t {
    if (!oldName || !newName || !IsValidDatabaseName(newName))
      return Fail(nullptr, DRM_DBN_INVALID_NAME, InvalidName(newName));
    NamedRequest req = MakeRequest(newName, flags, dictPathLen, dictPath, dataPathLen, dataPath);
    if (int32_t r = CheckPaths(req)) return r;
    const std::string old = oldName;
    return Registry(true, [&](std::vector<NamedDatabase>& list) -> int32_t {
      // A line without a name belongs to nobody and is never the target.
      auto target = std::find_if(list.begin(), list.end(),
                                 [&](const NamedDatabase& d) { return !old.empty() && SameName(d.name, old); });
      for (auto it = list.begin(); it != list.end(); ++it)
        if (it != target && SameName(it->name, req.name))
          return Fail(nullptr, DRM_DBN_NAME_EXISTS, "a named database '" + it->name + "' already exists");
      if (target == list.end()) return Fail(nullptr, DRM_DBN_NAME_UNKNOWN, NotNamed(old));
      // An unreadable entry is replaced whole, which repairs it.
      Assign(*target, req, req.name);
      return 0;
    });
  });
}

int32_t SQLDropDatabaseName2(const char* name, int32_t, const char*, const char*) noexcept {
  return Entry(__func__, [&](Engine&) -> int32_t {
    const std::string n = name ? name : "";
    return Registry(true, [&](std::vector<NamedDatabase>& list) -> int32_t {
      for (auto it = list.begin(); it != list.end(); ++it)
        if (!n.empty() && SameName(it->name, n)) {
          list.erase(it);
          return 0;
        }
      return Fail(nullptr, DRM_DBN_NAME_UNKNOWN, NotNamed(n));
    });
  });
}

int32_t RareListDatabaseNames(char* buffer, uint32_t bufferSize, uint32_t* length) noexcept {
  return Entry(__func__, [&](Engine&) -> int32_t {
    std::string all;
    if (int32_t r = Registry(false, [&](std::vector<NamedDatabase>& list) -> int32_t {
          for (auto& d : list) {
            if (d.name.empty()) continue;  // an unreadable line without a name
            all.append(d.name);
            all.push_back('\0');
          }
          return 0;
        }))
      return r;
    all.push_back('\0');
    if (length) *length = static_cast<uint32_t>(all.size());
    if (!buffer || bufferSize < all.size())
      return Fail(nullptr, DRM_ERR_BUFFER_TOO_SMALL,
                  "the list of named databases needs " + std::to_string(all.size()) + " bytes");
    std::memcpy(buffer, all.data(), all.size());
    return 0;
  });
}

}  // extern "C"

extern "C" int32_t DrmEngineLocalPath(const char* location, char* buffer, uint32_t bufferSize,
                                      uint32_t* length) noexcept {
  return Entry(__func__, [&](Engine&) -> int32_t {
    if (!location) return Fail(nullptr, DRM_ERR_INVALID_PARAMETER, "no location was given");
    std::string path, what;
    if (int32_t r = MapLocation(location, path, what)) return Fail(nullptr, r, what);
    if (length) *length = static_cast<uint32_t>(path.size());
    if (!buffer || bufferSize < path.size() + 1)
      return Fail(nullptr, DRM_ERR_BUFFER_TOO_SMALL,
                  "the local path of '" + std::string(location) + "' needs " + std::to_string(path.size() + 1) +
                      " bytes");
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return 0;
  });
}

extern "C" int32_t DrmEngineLocationIsPath(const char* location) noexcept {
  return Entry(__func__, [&](Engine&) -> int32_t {
    if (!location) return Fail(nullptr, DRM_ERR_INVALID_PARAMETER, "no location was given");
    return NamesAPath(location) ? 1 : 0;
  });
}
