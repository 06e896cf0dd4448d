#include "station/core/mask_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantry::station {

namespace {

// Settings written by hand sometimes carry a stray short value; a real path is longer.
inline constexpr size_t kMinMaskPathLength = 8;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

bool writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string maskFileName(int cameraIndex)
{
    char name[32];
    std::snprintf(name, sizeof name, "mask%02d.dat", cameraIndex + 1);
    return name;
}

MaskFileResult loadMaskFile(const std::string& path, int64_t declaredSize)
{
    MaskFileResult result;
    if (declaredSize == 0 || path.size() < kMinMaskPathLength)
        return result;
    if (declaredSize < 0 || declaredSize > kMaxMaskFileBytes) {
        result.status = MaskFileStatus::Invalid;
        result.error = "mask size out of range";
        return result;
    }
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        result.status = MaskFileStatus::Missing;
        result.error = std::strerror(errno);
        return result;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(declaredSize));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    if (got < bytes.size()) {
        result.status = MaskFileStatus::Short;
        result.error = "mask file shorter than its recorded size";
        return result;
    }
    result.mask = GreyBitmap::fromFileBytes(bytes, &result.error);
    result.status = result.mask ? MaskFileStatus::Loaded : MaskFileStatus::Invalid;
    return result;
}

MaskSaveResult saveMaskFile(const std::string& dataFolder, int cameraIndex, const GreyBitmap& mask)
{
    MaskSaveResult result;
    if (mask.isNull()) {
        result.error = "no mask";
        return result;
    }
    std::string path = dataFolder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += maskFileName(cameraIndex);
    const std::string temporary = path + ".new";
    const std::vector<uint8_t> bytes = mask.fileBytes();

    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        result.error = std::strerror(errno);
        return result;
    }
    const bool written = writeAll(fd.get(), bytes.data(), bytes.size()) && ::fsync(fd.get()) == 0;
    const int closeResult = ::close(fd.release());
    if (!written || closeResult != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        result.error = std::strerror(errno);
        ::unlink(temporary.c_str());
        return result;
    }
    result.ok = true;
    result.path = path;
    result.size = static_cast<int64_t>(bytes.size());
    return result;
}

} // namespace vantry::station
