// Small POSIX file helpers for record files: whole writes that survive EINTR, positioned reads
// and writes, and the advisory lock that a writer holds while a record is being written so that
// a rebuild or repair running at the same time leaves that file alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantry::common::detail {

class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileHandle& operator=(FileHandle&& other) noexcept;
    ~FileHandle() { Close(); }

    // flags as for open(2); mode 0644 for created files.
    bool Open(const std::string& path, int flags);
    int Close();
    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool WriteAll(const void* data, size_t size);
    bool PwriteAll(const void* data, size_t size, uint64_t offset);
    // Reads up to size bytes at offset; returns the count read (short at the end), -1 on error.
    long long Pread(void* data, size_t size, uint64_t offset) const;
    bool PreadExact(void* data, size_t size, uint64_t offset) const;
    bool SyncData();
    bool Truncate(uint64_t size);
    int64_t Size() const; // -1 on error
    // Exclusive advisory lock without waiting; false when another writer holds it.
    bool TryLockExclusive();

private:
    int fd_ = -1;
};

// True when some open file description holds the writer's lock on path.
bool IsLockedByWriter(const std::string& path);

// Makes a rename or creation in folder durable.
void SyncFolder(const std::string& folder);

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes);

} // namespace vantry::common::detail
