// Fixtures shared by the common/ tests: a private temporary folder, small file helpers, and a
// way to make writes fail like a full disk.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace vantry::test {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantry-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// Runs body in a child process whose files may not grow beyond maxFileBytes: writes past the
// limit fail with EFBIG (SIGXFSZ ignored), exactly as they would on a full disk. Returns the
// child's exit code (body's result), or -1 when the child died.
inline int runWithFileSizeLimit(rlim_t maxFileBytes, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {maxFileBytes, maxFileBytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Exit code of a child that could not set up what the test needs (the test is then skipped).
inline constexpr int kCannotSetUp = 77;

// Runs body in a child process with its own mount namespace and a fresh tmpfs (mount options
// such as "size=64k") over folder, so that the test meets a real full or read-only file system
// without touching the machine's. Needs root; returns kCannotSetUp where that is not allowed.
inline int runOnTmpfs(const std::string& folder, const std::string& options, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0)
            ::_exit(kCannotSetUp);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

inline bool remountReadOnly(const std::string& folder)
{
    return ::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

// Runs named checks in order; the result is 0 when all pass, else the number of the first
// failing one (1-based), so that a child process can report which check failed.
struct NamedCheck {
    const char* name;
    std::function<bool()> check;
};

inline int firstFailing(const std::vector<NamedCheck>& checks)
{
    for (std::size_t i = 0; i < checks.size(); ++i)
        if (!checks[i].check())
            return static_cast<int>(i + 1);
    return 0;
}

} // namespace vantry::test
