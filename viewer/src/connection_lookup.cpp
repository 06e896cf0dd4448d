#include "viewer/connection_lookup.h"

#include <curl/curl.h>

#include <charconv>
#include <mutex>

namespace vantry::viewer {

std::optional<LookupRequest> buildLookupRequest(std::string_view url, std::string_view id)
{
    constexpr std::string_view kScheme = "http://";
    if (url.substr(0, kScheme.size()) != kScheme)
        return std::nullopt;
    std::string_view rest = url.substr(kScheme.size());
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    LookupRequest request;
    request.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        unsigned port = 0;
        const std::string_view digits = authority.substr(colon + 1);
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (error != std::errc() || end != digits.data() + digits.size() || port == 0 || port > 65535)
            return std::nullopt;
        request.port = static_cast<uint16_t>(port);
        authority = authority.substr(0, colon);
    }
    if (authority.empty())
        return std::nullopt;
    request.host = std::string(authority);
    // The ID goes as typed: the registration server has always received it that way.
    request.body = "CONID=" + std::string(id) + "&" + "Submit=Submit\r\n";
    return request;
}

std::optional<ServerAddress> parseLookupReply(std::string_view reply)
{
    if (reply.find("Success") == std::string_view::npos)
        return std::nullopt;
    const size_t first = reply.find('#');
    if (first == std::string_view::npos)
        return std::nullopt;
    const size_t second = reply.find('#', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const size_t third = reply.find('#', second + 1);
    if (third == std::string_view::npos)
        return std::nullopt;
    ServerAddress address;
    address.host = std::string(reply.substr(first + 1, second - first - 1));
    const std::string_view portText = reply.substr(second + 1, third - second - 1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (address.host.empty() || error != std::errc() || end != portText.data() + portText.size() || port == 0 ||
        port > 65535)
        return std::nullopt;
    address.port = static_cast<uint16_t>(port);
    return address;
}

namespace {

struct ReplyCollector {
    std::string body;
    size_t limit = kLookupReplyMaxBytes;
    bool overflow = false;
};

size_t collect(char* data, size_t size, size_t count, void* user)
{
    auto* collector = static_cast<ReplyCollector*>(user);
    const size_t bytes = size * count;
    // Pieces are taken at most 256 bytes at a time; one that would pass the limit ends the
    // reading and is dropped.
    for (size_t offset = 0; offset < bytes; offset += kLookupPieceBytes) {
        const size_t piece = std::min(kLookupPieceBytes, bytes - offset);
        if (collector->body.size() + piece > collector->limit) {
            collector->overflow = true;
            return 0;
        }
        collector->body.append(data + offset, piece);
    }
    return bytes;
}

} // namespace

std::optional<ServerAddress> lookupConnectionId(const std::string& url, const std::string& id, int timeoutSeconds)
{
    if (url.empty())
        return std::nullopt;
    const std::optional<LookupRequest> request = buildLookupRequest(url, id);
    if (!request)
        return std::nullopt;
    static std::once_flag curlInit;
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl)
        return std::nullopt;
    ReplyCollector collector;
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    headers = curl_slist_append(headers, "Accept: text/*");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    const std::string target = "http://" + request->host + ":" + std::to_string(request->port) + request->path;
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Orvendal");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request->body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request->body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &collector);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(std::max(1, timeoutSeconds)));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const CURLcode result = curl_easy_perform(curl);
    curl_off_t contentLength = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &contentLength);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (contentLength == 0)
        return std::nullopt;
    if (result != CURLE_OK && !collector.overflow)
        return std::nullopt;
    std::string_view body = collector.body;
    if (contentLength > 0 && static_cast<size_t>(contentLength) < body.size())
        body = body.substr(0, static_cast<size_t>(contentLength));
    return parseLookupReply(body);
}

} // namespace vantry::viewer
