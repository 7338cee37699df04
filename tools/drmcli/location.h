// Where a database location lives on this computer. The engine opens a
// database only in an existing folder, so creating one means making that
// folder first. Which folder a location names is the engine's decision
// (DrmEngineLocalPath), so drmcli makes exactly the folder the engine will
// open: drive letters, backslashes, ".." kept inside a drive's folder, UNC
// names and components matched without case are as docs/ENGINE.md states.
#pragma once

#include <string>

namespace drmcli {

// True when the text names a location rather than a named database (the
// engine's answer: drmcli keeps no rules of its own about locations).
bool LooksLikePath(const std::string& location);
// The local folder of a location. Throws DrmError when the engine refuses
// the location (another host's share, for one).
std::string LocalFolder(const std::string& location);
// Makes the folder of a location and its parents, readable by their owner
// only; returns the folder. Throws DrmError as LocalFolder, or
// std::runtime_error when the folder cannot be made.
std::string MakeLocationFolder(const std::string& location);

}  // namespace drmcli
