// Folder preparation: every folder a program needs (data folder, records, mail, ftp) goes
// through one rule. A folder counts as present when a probe file "zt%6d.tst" can be created in
// it with create-new semantics (then it is removed at once); otherwise it is created, one level
// of the path at a time. This tests what matters to a recorder - that files can be made there -
// rather than only that the name exists.
#pragma once

#include <sys/types.h>

#include <string>

namespace vantry::common {

// Folders hold recordings and settings with passwords: private to the user by default.
inline constexpr mode_t kFolderMode = 0700;

// True when a probe file could be created in folder (and was removed again).
bool canCreateFilesIn(const std::string& folder);

// Makes folder usable: present and writable, creating missing levels with mode. Returns true on
// success; on failure false with the reason ("cannot create folder ...: <system message>", or
// "cannot write in folder ...: <system message>" for a folder that exists but refuses files).
bool prepareFolder(const std::string& folder, std::string* errorText = nullptr, mode_t mode = kFolderMode);

} // namespace vantry::common
