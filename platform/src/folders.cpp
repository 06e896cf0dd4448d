#include "platform/folders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantry::platform {
namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string homeFolder()
{
    std::string home = environment("HOME");
    if (!home.empty() && home.front() == '/')
        return home;
    // Services started without HOME still have a password entry.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr
        && result->pw_dir != nullptr && result->pw_dir[0] == '/')
        return result->pw_dir;
    return {};
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Creates `path` (one level) with mode 0700 when missing and checks that it is a private
// directory of this user. A directory of ours with wider permissions is narrowed.
bool preparePrivateFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return false;
    if ((info.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0)
        return false;
    return true;
}

} // namespace

std::string programFolder()
{
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return {};
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string dataFolder(DataFolderOwner owner)
{
    const std::string overridden = environment("VANTRY_DATA_DIR");
    if (!overridden.empty())
        return withoutTrailingSlashes(overridden);
    const char* leaf = owner == DataFolderOwner::Viewer ? "/vyremote" : "/vantry";
    std::string base = environment("XDG_DATA_HOME");
    if (base.empty() || base.front() != '/') {
        const std::string home = homeFolder();
        if (home.empty())
            return programFolder();
        base = withoutTrailingSlashes(home) + "/.local/share";
    }
    return withoutTrailingSlashes(base) + leaf;
}

std::string runtimeFolder()
{
    const std::string xdg = environment("XDG_RUNTIME_DIR");
    if (!xdg.empty() && xdg.front() == '/') {
        const std::string path = withoutTrailingSlashes(xdg) + "/vantry";
        if (preparePrivateFolder(path))
            return path;
    }
    const std::string fallback = "/tmp/vantry-" + std::to_string(getuid());
    if (preparePrivateFolder(fallback))
        return fallback;
    return {};
}

} // namespace vantry::platform
