#include "platform/shared_memory.h"

#include "platform/folders.h"
#include "window_directory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantry::platform {
namespace {

std::uint32_t fnv1a(std::string_view text)
{
    std::uint32_t hash = 2166136261u;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

bool sameObject(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

std::string sharedObjectName(std::string_view name)
{
    if (!detail::isValidClassName(name))
        return {};
    char prefix[64] = {};
    std::snprintf(prefix, sizeof prefix, "/vantry.%u.%08x.", static_cast<unsigned>(::getuid()), fnv1a(runtimeFolder()));
    return prefix + std::string(name);
}

std::unique_ptr<SharedMemory> SharedMemory::create(std::string_view name, std::size_t size, std::string* error)
{
    auto fail = [error](const std::string& reason) -> std::unique_ptr<SharedMemory> {
        if (error != nullptr)
            *error = reason;
        return nullptr;
    };
    const std::string systemName = sharedObjectName(name);
    if (systemName.empty())
        return fail("invalid shared memory name");
    if (size == 0 || size > static_cast<std::size_t>(1) << 40)
        return fail("invalid shared memory size");
    std::unique_ptr<SharedMemory> memory(new SharedMemory());
    memory->systemName_ = systemName;
    memory->fd_ = ::shm_open(systemName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (memory->fd_ < 0)
        return fail(systemError("shm_open"));
    struct stat info {};
    if (::fstat(memory->fd_, &info) != 0)
        return fail(systemError("fstat"));
    if (info.st_uid != ::getuid())
        return fail("shared memory object belongs to another user");
    if ((info.st_mode & 077) != 0 && ::fchmod(memory->fd_, 0600) != 0)
        return fail(systemError("fchmod"));
    memory->creator_ = true; // from here on the name is ours to remove
    std::size_t mappedSize = static_cast<std::size_t>(info.st_size);
    if (mappedSize < size) {
        if (::ftruncate(memory->fd_, static_cast<off_t>(size)) != 0)
            return fail(systemError("ftruncate"));
        mappedSize = size;
    }
    void* address = ::mmap(nullptr, mappedSize, PROT_READ | PROT_WRITE, MAP_SHARED, memory->fd_, 0);
    if (address == MAP_FAILED)
        return fail(systemError("mmap"));
    memory->data_ = static_cast<std::uint8_t*>(address);
    memory->size_ = mappedSize;
    return memory;
}

std::unique_ptr<SharedMemory> SharedMemory::open(std::string_view name, std::size_t minimumSize, std::string* error)
{
    auto fail = [error](const std::string& reason) -> std::unique_ptr<SharedMemory> {
        if (error != nullptr)
            *error = reason;
        return nullptr;
    };
    const std::string systemName = sharedObjectName(name);
    if (systemName.empty())
        return fail("invalid shared memory name");
    std::unique_ptr<SharedMemory> memory(new SharedMemory());
    memory->systemName_ = systemName;
    memory->fd_ = ::shm_open(systemName.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0);
    if (memory->fd_ < 0)
        return fail(systemError("shm_open"));
    struct stat info {};
    if (::fstat(memory->fd_, &info) != 0)
        return fail(systemError("fstat"));
    if (info.st_uid != ::getuid())
        return fail("shared memory object belongs to another user");
    const auto objectSize = static_cast<std::size_t>(info.st_size);
    if (objectSize == 0 || objectSize < minimumSize)
        return fail("shared memory object too small");
    void* address = ::mmap(nullptr, objectSize, PROT_READ | PROT_WRITE, MAP_SHARED, memory->fd_, 0);
    if (address == MAP_FAILED)
        return fail(systemError("mmap"));
    memory->data_ = static_cast<std::uint8_t*>(address);
    memory->size_ = objectSize;
    return memory;
}

bool SharedMemory::isReplaced() const
{
    const int fd = ::shm_open(systemName_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0);
    if (fd < 0)
        return true;
    struct stat named {};
    struct stat mine {};
    const bool replaced = ::fstat(fd, &named) != 0 || ::fstat(fd_, &mine) != 0 || !sameObject(named, mine);
    ::close(fd);
    return replaced;
}

SharedMemory::~SharedMemory()
{
    if (data_ != nullptr)
        ::munmap(data_, size_);
    if (creator_ && !isReplaced())
        ::shm_unlink(systemName_.c_str());
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace vantry::platform
