#include "platform/system_info.h"

#include <arpa/inet.h>
#include <fstream>
#include <ifaddrs.h>
#include <limits>
#include <net/if.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vantry::platform {

std::string computerName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    name[sizeof name - 1] = '\0';
    return name;
}

namespace detail {

std::string defaultRouteInterface(const std::string& routeTable)
{
    constexpr unsigned long kRouteUp = 0x0001; // RTF_UP
    std::istringstream lines(routeTable);
    std::string line;
    std::getline(lines, line); // column titles
    std::string bestInterface;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string interfaceName, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> interfaceName >> destination >> gateway >> flags >> refCount >> use >> metric >> mask))
            continue;
        unsigned long flagBits = 0;
        unsigned long metricValue = 0;
        try {
            flagBits = std::stoul(flags, nullptr, 16);
            metricValue = std::stoul(metric, nullptr, 10);
        } catch (...) {
            continue;
        }
        if (destination != "00000000" || mask != "00000000" || (flagBits & kRouteUp) == 0)
            continue;
        if (metricValue < bestMetric) {
            bestMetric = metricValue;
            bestInterface = interfaceName;
        }
    }
    return bestInterface;
}

} // namespace detail

std::string localIPv4Address()
{
    std::string routeInterface;
    {
        std::ifstream routes("/proc/net/route");
        if (routes) {
            std::ostringstream text;
            text << routes.rdbuf();
            routeInterface = detail::defaultRouteInterface(text.str());
        }
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    std::string onRoute;
    std::string firstOther;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr)
            continue;
        if (onRoute.empty() && !routeInterface.empty() && routeInterface == entry->ifa_name)
            onRoute = text;
        if (firstOther.empty())
            firstOther = text;
    }
    freeifaddrs(list);
    return !onRoute.empty() ? onRoute : firstOther;
}

std::int64_t freeDiskBytes(const std::string& path)
{
    struct statvfs info {};
    if (path.empty() || statvfs(path.c_str(), &info) != 0)
        return kDiskSpaceUnknown;
    const unsigned long long bytes =
        static_cast<unsigned long long>(info.f_bavail) * static_cast<unsigned long long>(info.f_frsize);
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(bytes > kMax ? kMax : bytes);
}

} // namespace vantry::platform
