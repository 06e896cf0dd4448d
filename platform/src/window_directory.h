// The runtime folder as a directory of program endpoints. Each endpoint listens on the
// socket "ep-XXXXXXXX" (its handle in hex); it is found by the empty marker files
// "class.<ClassName>.XXXXXXXX" and "title.<hex of the UTF-8 title>.XXXXXXXX". A marker
// whose socket has no listener belongs to a program that died (even by SIGKILL) and is
// removed by whoever finds it.
#pragma once

#include "platform/messages.h"

#include <string>
#include <string_view>

namespace vantry::platform::detail {

inline constexpr std::size_t kMaxClassNameLength = 64;
inline constexpr std::size_t kMaxTitleBytes = 100;

std::string socketPath(const std::string& folder, WindowHandle handle);
std::string classMarkerPath(const std::string& folder, std::string_view className, WindowHandle handle);
// Empty when the title is empty or too long to be found by title.
std::string titleMarkerPath(const std::string& folder, std::string_view title, WindowHandle handle);

bool isValidClassName(std::string_view className);

enum class Liveness { Alive, Dead, Unknown };
Liveness probe(const std::string& folder, WindowHandle handle);

// The first live endpoint whose marker starts with `markerPrefix` ("class.VYWatch."), or 0.
// Markers of dead endpoints are removed with their sockets on the way.
WindowHandle findByMarker(const std::string& folder, const std::string& markerPrefix);
std::string classMarkerPrefix(std::string_view className);
std::string titleMarkerPrefix(std::string_view title);

// Removes sockets and markers left by endpoints that died.
void sweepStale(const std::string& folder);

} // namespace vantry::platform::detail
