// Named shared memory between the station and the stream server (one record per camera).
// Names are the programs' own ("ZtMemMapFile01"); the system object carries a prefix with the
// user id and the runtime folder, so that users and sessions (and tests) never meet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantry::platform {

// The system name behind a program's object name: "/vantry.<uid>.<runtime folder hash>.<name>".
// Empty when `name` is not 1..64 of A-Z a-z 0-9 _ -.
std::string sharedObjectName(std::string_view name);

class SharedMemory {
public:
    // The writer's side: opens the object, creating it when missing, and grows it to at least
    // `size` bytes. An object left by a writer that crashed is taken over as it is, so a
    // reader still attached to it keeps working. It never shrinks: a reader may have mapped
    // the larger size. The name is removed when the creator is destroyed.
    static std::unique_ptr<SharedMemory> create(std::string_view name, std::size_t size, std::string* error = nullptr);
    // The reader's side: maps an existing object whole. Fails when it is missing, belongs to
    // another user, or is smaller than `minimumSize`. The writer may grow the object later:
    // a reader checks every length it reads against size() and opens again when a record
    // claims more than its mapping holds.
    static std::unique_ptr<SharedMemory> open(std::string_view name, std::size_t minimumSize = 0,
                                              std::string* error = nullptr);
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Whether the name has gone or now names another object (the writer ended and a new one
    // started): the reader should open again.
    bool isReplaced() const;

private:
    SharedMemory() = default;
    std::string systemName_;
    int fd_ = -1;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool creator_ = false;
};

} // namespace vantry::platform
