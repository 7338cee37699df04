// Where a database location lives on this computer. The engine opens a
// database only in an existing folder, so creating one means making that
// folder first; these rules are the engine's own, as docs/ENGINE.md states
// them: backslashes are separators, a drive letter X maps to
// $DAC_ENGINE_DRIVE_X, else to the "X=folder" line of the engine's
// configuration file "drives", else to drives/X under the engine's data
// directory; a folder that does not exist exactly is matched without
// regard to case.
#pragma once

#include <string>

namespace drmcli {

// True when the text names a location rather than a named database.
bool LooksLikePath(const std::string& location);
// The local folder of a location.
std::string LocalFolder(const std::string& location);
// Makes the folder of a location and its parents; returns the folder.
// Throws std::runtime_error when it cannot be made.
std::string MakeLocationFolder(const std::string& location);
// The engine's configuration directory (where its registry lives).
std::string EngineConfigDir();

}  // namespace drmcli
