// Facts about the computer that the programs report or act on.
#pragma once

#include <cstdint>
#include <string>

namespace vantry::platform {

// The computer's name (gethostname), or "localhost" when it cannot be read; the default
// site name of a station.
std::string computerName();

// The computer's local IPv4 address as dotted text: the address of the interface that carries
// the default route (/proc/net/route), else the first non-loopback IPv4 address of an
// interface that is up. Empty when the computer has none.
std::string localIPv4Address();

// Bytes available to this (unprivileged) user on the file system that holds `path`
// (statvfs: available blocks times fragment size). kDiskSpaceUnknown when `path` cannot be
// queried, so that a failure is never mistaken for a full disk or for plenty of room.
inline constexpr std::int64_t kDiskSpaceUnknown = -1;
std::int64_t freeDiskBytes(const std::string& path);

namespace detail {
// The interface named by the first usable default route of a /proc/net/route text; empty
// when there is none. Exposed for tests.
std::string defaultRouteInterface(const std::string& routeTable);
} // namespace detail

} // namespace vantry::platform
