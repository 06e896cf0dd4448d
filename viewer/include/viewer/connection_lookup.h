// Connect by ID: the registration server is asked, by an HTTP POST of the form field CONID,
// for the address and port under which a station registered its connection ID. The reply
// text holds "Success" and the address and port between its first three '#' characters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantry::viewer {

inline constexpr size_t kLookupReplyMaxBytes = 4096;
inline constexpr size_t kLookupPieceBytes = 256;

struct LookupRequest {
    std::string host;
    uint16_t port = 80;
    std::string path;
    std::string contentType = "Content-Type: application/x-www-form-urlencoded\r\n";
    std::string body;
};

struct ServerAddress {
    std::string host;
    uint16_t port = 0;
};

// The request for id to the lookup URL ("http://host[:port]/path"); nullopt for a URL that is
// not plain http or has no host.
std::optional<LookupRequest> buildLookupRequest(std::string_view url, std::string_view id);
// The address in a reply, or nullopt when the reply does not hold one.
std::optional<ServerAddress> parseLookupReply(std::string_view reply);
// Runs the lookup (blocking, at most timeoutSeconds). nullopt on any failure; an empty url
// fails at once without any request.
std::optional<ServerAddress> lookupConnectionId(const std::string& url, const std::string& id, int timeoutSeconds);

} // namespace vantry::viewer
