#include "record_file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantry::common::detail {

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool FileHandle::Open(const std::string& path, int flags)
{
    Close();
    do {
        fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    } while (fd_ < 0 && errno == EINTR);
    return fd_ >= 0;
}

int FileHandle::Close()
{
    int rc = 0;
    if (fd_ >= 0) {
        rc = ::close(fd_);
        fd_ = -1;
    }
    return rc;
}

bool FileHandle::WriteAll(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool FileHandle::PwriteAll(const void* data, size_t size, uint64_t offset)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

long long FileHandle::Pread(void* data, size_t size, uint64_t offset) const
{
    auto* p = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long long>(done);
}

bool FileHandle::PreadExact(void* data, size_t size, uint64_t offset) const
{
    return Pread(data, size, offset) == static_cast<long long>(size);
}

bool FileHandle::SyncData() { return ::fdatasync(fd_) == 0; }

bool FileHandle::Truncate(uint64_t size) { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

int64_t FileHandle::Size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool FileHandle::TryLockExclusive()
{
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool IsLockedByWriter(const std::string& path)
{
    FileHandle probe;
    if (!probe.Open(path, O_RDONLY))
        return false;
    return !probe.TryLockExclusive();
}

void SyncFolder(const std::string& folder)
{
    FileHandle dir;
    if (dir.Open(folder.empty() ? std::string(".") : folder, O_RDONLY | O_DIRECTORY))
        ::fsync(dir.fd());
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes)
{
    FileHandle file;
    if (!file.Open(path, O_RDONLY))
        return false;
    const int64_t size = file.Size();
    if (size < 0 || static_cast<uint64_t>(size) > maxBytes)
        return false;
    out.resize(static_cast<size_t>(size));
    return file.Pread(out.data(), out.size(), 0) == size;
}

} // namespace vantry::common::detail
