// Where the programs keep their files: the program folder (resources beside the executable),
// the per-user data folder (settings, logs, records) and the per-user runtime folder (message
// endpoints, lock files). Paths are UTF-8 without a trailing slash; an empty string means the
// folder could not be determined or prepared.
#pragma once

#include <string>

namespace vantry::platform {

// The folder of the running executable (from /proc/self/exe). Kept in its real case: file
// names are case-sensitive here.
std::string programFolder();

// Which program's data folder: the viewer keeps its own settings and records apart.
enum class DataFolderOwner { Station, Viewer };

// The data folder: $VANTRY_DATA_DIR as it stands when set (every program, either owner);
// otherwise $XDG_DATA_HOME/vantry (viewer: .../vyremote), with $XDG_DATA_HOME defaulting to
// ~/.local/share (a relative $XDG_DATA_HOME is ignored, as the XDG rules say). When no home
// can be found, the program folder serves. The folder is not created here; callers prepare
// it with their folder rule.
std::string dataFolder(DataFolderOwner owner = DataFolderOwner::Station);

// The runtime folder $XDG_RUNTIME_DIR/vantry (fallback /tmp/vantry-<uid>), created with mode
// 0700 when missing. Refused (empty string) when the folder exists but is not a directory
// owned by this user, or is open to others: endpoints and locks inside it must stay private.
std::string runtimeFolder();

} // namespace vantry::platform
