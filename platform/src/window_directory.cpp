#include "window_directory.h"

#include "socket_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantry::platform::detail {
namespace {

std::string handleText(WindowHandle handle)
{
    char text[9] = {};
    std::snprintf(text, sizeof text, "%08x", handle);
    return text;
}

bool parseHandle(std::string_view text, WindowHandle& handle)
{
    if (text.size() != 8)
        return false;
    WindowHandle value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value << 4 | static_cast<WindowHandle>(digit);
    }
    if (value == kNoWindow || value > 0x7FFFFFFF)
        return false;
    handle = value;
    return true;
}

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr)
        return names;
    while (const dirent* entry = ::readdir(directory))
        names.emplace_back(entry->d_name);
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    return names;
}

// The handle at the end of a marker name "<prefix>XXXXXXXX".
bool markerHandle(const std::string& name, const std::string& prefix, WindowHandle& handle)
{
    if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    return parseHandle(std::string_view(name).substr(prefix.size()), handle);
}

void removeDead(const std::string& folder, const std::string& marker, WindowHandle handle)
{
    ::unlink((folder + "/" + marker).c_str());
    ::unlink(socketPath(folder, handle).c_str());
}

} // namespace

std::string socketPath(const std::string& folder, WindowHandle handle)
{
    return folder + "/ep-" + handleText(handle);
}

std::string classMarkerPrefix(std::string_view className)
{
    return "class." + std::string(className) + ".";
}

std::string titleMarkerPrefix(std::string_view title)
{
    static const char digits[] = "0123456789abcdef";
    std::string prefix = "title.";
    for (char c : title) {
        const auto byte = static_cast<unsigned char>(c);
        prefix += digits[byte >> 4];
        prefix += digits[byte & 15];
    }
    return prefix + ".";
}

std::string classMarkerPath(const std::string& folder, std::string_view className, WindowHandle handle)
{
    return folder + "/" + classMarkerPrefix(className) + handleText(handle);
}

std::string titleMarkerPath(const std::string& folder, std::string_view title, WindowHandle handle)
{
    if (title.empty() || title.size() > kMaxTitleBytes)
        return {};
    return folder + "/" + titleMarkerPrefix(title) + handleText(handle);
}

bool isValidClassName(std::string_view className)
{
    if (className.empty() || className.size() > kMaxClassNameLength)
        return false;
    return std::all_of(className.begin(), className.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

Liveness probe(const std::string& folder, WindowHandle handle)
{
    if (handle == kNoWindow || handle > 0x7FFFFFFF || folder.empty())
        return Liveness::Dead;
    UniqueFd fd = connectUnix(socketPath(folder, handle));
    if (fd.valid())
        return Liveness::Alive;
    switch (errno) {
    case EAGAIN:
        return Liveness::Alive; // listening, only busy
    case ENOENT:
    case ECONNREFUSED:
        return Liveness::Dead;
    default:
        return Liveness::Unknown;
    }
}

WindowHandle findByMarker(const std::string& folder, const std::string& markerPrefix)
{
    if (folder.empty())
        return kNoWindow;
    for (const std::string& name : folderEntries(folder)) {
        WindowHandle handle = kNoWindow;
        if (!markerHandle(name, markerPrefix, handle))
            continue;
        const Liveness state = probe(folder, handle);
        if (state == Liveness::Alive)
            return handle;
        if (state == Liveness::Dead)
            removeDead(folder, name, handle);
    }
    return kNoWindow;
}

void sweepStale(const std::string& folder)
{
    for (const std::string& name : folderEntries(folder)) {
        WindowHandle handle = kNoWindow;
        const std::size_t lastDot = name.rfind('.');
        const bool isMarker = (name.rfind("class.", 0) == 0 || name.rfind("title.", 0) == 0)
            && lastDot != std::string::npos && parseHandle(std::string_view(name).substr(lastDot + 1), handle);
        const bool isSocket = name.rfind("ep-", 0) == 0 && parseHandle(std::string_view(name).substr(3), handle);
        if (name.rfind("tmp-ep-", 0) == 0) {
            // A socket bound but never published: its creator died in between.
            struct stat info {};
            if (::lstat((folder + "/" + name).c_str(), &info) == 0 && info.st_mtime + 60 < std::time(nullptr))
                ::unlink((folder + "/" + name).c_str());
            continue;
        }
        if (!isMarker && !isSocket)
            continue;
        if (probe(folder, handle) != Liveness::Dead)
            continue;
        ::unlink((folder + "/" + name).c_str());
        if (isMarker)
            ::unlink(socketPath(folder, handle).c_str());
    }
}

} // namespace vantry::platform::detail
