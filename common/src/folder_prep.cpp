#include "common/folder_prep.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

namespace vantry::common {

namespace {

// The probe names only need to differ between tries and processes; the clock seeds them.
uint32_t nextProbeNumber()
{
    static std::mutex mutex;
    static std::minstd_rand generator(static_cast<uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ static_cast<long long>(::getpid())));
    std::lock_guard lock(mutex);
    // Six digits, so that the name carries no blanks.
    return 100000u + static_cast<uint32_t>(generator() % 900000u);
}

// Creates and removes one probe file; returns 0 or the errno of the failure.
int probe(const std::string& folder)
{
    int error = EEXIST;
    // A clash with a file of the same name is retried under another name.
    for (int attempt = 0; attempt < 8 && error == EEXIST; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "/zt%6u.tst", nextProbeNumber());
        const std::string path = folder + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(path.c_str());
            return 0;
        }
        error = errno;
    }
    return error;
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

bool canCreateFilesIn(const std::string& folder)
{
    return !folder.empty() && probe(folder) == 0;
}

bool prepareFolder(const std::string& folder, std::string* errorText, mode_t mode)
{
    auto fail = [&](const std::string& what, const std::string& path, int error) {
        if (errorText)
            *errorText = what + " " + path + ": " + std::strerror(error);
        return false;
    };
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return fail("cannot create folder", "\"\"", ENOENT);
    if (probe(path) == 0)
        return true;

    // Level by level: every parent must be a folder (an existing parent need not be writable,
    // as /home is not); the last level must accept files.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (isDirectory(level))
            continue;
        if (::mkdir(level.c_str(), mode) != 0 && !(errno == EEXIST && isDirectory(level)))
            return fail("cannot create folder", level, errno == EEXIST ? ENOTDIR : errno);
    }
    if (!isDirectory(path)) {
        if (::mkdir(path.c_str(), mode) != 0 && !(errno == EEXIST && isDirectory(path)))
            return fail("cannot create folder", path, errno == EEXIST ? ENOTDIR : errno);
    }
    if (const int error = probe(path); error != 0)
        return fail("cannot write in folder", path, error);
    return true;
}

} // namespace vantry::common
