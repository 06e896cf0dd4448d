#include "common/text_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/ini_profile.h"

namespace vantry::common {

namespace {

constexpr mode_t kLogFileMode = 0600;

std::string systemError(const std::string& what, const std::string& path, int error)
{
    return what + " " + path + ": " + std::strerror(error);
}

bool readWhole(const std::string& path, std::string& out, int& error)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

int countLines(std::string_view text)
{
    int count = 0;
    for (std::size_t pos = text.find("\r\n"); pos != std::string_view::npos; pos = text.find("\r\n", pos + 2))
        ++count;
    return count;
}

} // namespace

std::string TextLog::formatLine(std::string_view text, std::time_t t)
{
    std::tm local {};
    ::localtime_r(&t, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S - ", &local);
    std::string line = stamp;
    line.reserve(line.size() + text.size());
    for (const char c : text)
        line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
    return line;
}

bool TextLog::Open(const std::string& path)
{
    std::lock_guard lock(mutex_);
    path_ = path;
    enabled_ = false;
    lineCount_ = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kLogFileMode);
    if (fd < 0) {
        lastError_ = systemError("cannot open the text log", path, errno);
        return false;
    }
    ::close(fd);
    std::string content;
    int error = 0;
    if (!readWhole(path, content, error)) {
        lastError_ = systemError("cannot read the text log", path, error);
        return false;
    }
    lineCount_ = countLines(content);
    enabled_ = true;
    if (lineCount_ >= kRotateLines)
        rotateLocked();
    return true;
}

void TextLog::Close()
{
    std::lock_guard lock(mutex_);
    enabled_ = false;
}

bool TextLog::Write(std::string_view text)
{
    const std::string line = formatLine(text, std::time(nullptr));
    std::lock_guard lock(mutex_);
    if (echo_) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
    if (!enabled_)
        return false;

    // Created again if someone removed it while we run.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kLogFileMode);
    if (fd < 0) {
        lastError_ = systemError("cannot open the text log", path_, errno);
        return false;
    }
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    const std::string bytes = line + "\r\n";
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n != static_cast<ssize_t>(bytes.size())) {
        const int error = n < 0 ? errno : ENOSPC;
        // A partial line would glue itself to the next message: take it back.
        if (n > 0 && sized)
            (void)::ftruncate(fd, before.st_size);
        ::close(fd);
        lastError_ = systemError("cannot write the text log", path_, error);
        return false;
    }
    ::close(fd);
    if (++lineCount_ >= kRotateLines)
        rotateLocked();
    return true;
}

bool TextLog::rotateLocked()
{
    std::string content;
    int error = 0;
    if (!readWhole(path_, content, error)) {
        lastError_ = systemError("cannot read the text log", path_, error);
        return false;
    }
    std::string copyError;
    // The old lines are kept only once they are safely in vantry.log1; until then the file
    // keeps growing and the rotation is tried again with the next line.
    if (!platform::writeWholeFile(path_ + "1", content, kLogFileMode, &copyError)) {
        lastError_ = copyError;
        return false;
    }
    if (::truncate(path_.c_str(), 0) != 0) {
        lastError_ = systemError("cannot empty the text log", path_, errno);
        return false;
    }
    lineCount_ = 0;
    return true;
}

void TextLog::setEchoToStderr(bool echo)
{
    std::lock_guard lock(mutex_);
    echo_ = echo;
}

bool TextLog::isEnabled() const
{
    std::lock_guard lock(mutex_);
    return enabled_;
}

int TextLog::lineCount() const
{
    std::lock_guard lock(mutex_);
    return lineCount_;
}

std::string TextLog::path() const
{
    std::lock_guard lock(mutex_);
    return path_;
}

std::string TextLog::LastError() const
{
    std::lock_guard lock(mutex_);
    return lastError_;
}

} // namespace vantry::common
