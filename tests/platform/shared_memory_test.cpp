#include "child_protocol.h"
#include "platform/named_mutex.h"
#include "platform/shared_memory.h"
#include "test_support.h"

#include <fcntl.h>
#include <sys/mman.h>

namespace vantry::platform {
namespace {

namespace protocol = test::protocol;
using test::Child;
using test::waitUntil;

using SharedMemoryTest = test::PlatformTest;

TEST_F(SharedMemoryTest, WriterAndReaderShareRecordsAndAWriterKilledHoldingTheMutexDoesNotBlock)
{
    const std::string ready = (root() / "held").string();
    Child writer({"shm-writer", "400", ready});

    std::unique_ptr<NamedMutex> mutex;
    std::unique_ptr<SharedMemory> memory;
    ASSERT_TRUE(waitUntil([&] {
        if (!mutex)
            mutex = NamedMutex::open(protocol::kMutexName);
        if (!memory)
            memory = SharedMemory::open(protocol::kMemoryName, protocol::kMemorySize);
        return mutex && memory;
    }));
    EXPECT_GE(memory->size(), protocol::kMemorySize);

    // Every record read under the mutex is whole, and the stamps only grow.
    std::uint32_t last = 0;
    int reads = 0;
    while (!std::filesystem::exists(ready) && reads < 100000) {
        // Leave the writer room between reads, as the stream server's pace does.
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        NamedMutexLock lock(*mutex, 1000);
        if (!lock.ownsLock())
            continue; // the writer now holds it for good
        const std::uint32_t header = *reinterpret_cast<const std::uint32_t*>(memory->data());
        if (header == 0)
            continue;
        const std::uint32_t stamp = protocol::readRecord(memory->data(), memory->size());
        ASSERT_NE(stamp, 0u) << "torn record after " << last;
        ASSERT_GE(stamp, last);
        last = stamp;
        ++reads;
    }
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(ready); }));
    EXPECT_GT(reads, 0);

    EXPECT_EQ(mutex->lock(100), LockResult::TimedOut);
    writer.killHard();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mutex->lock(5000), LockResult::AcquiredOwnerDied);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
    EXPECT_EQ(protocol::readRecord(memory->data(), memory->size()), 400u);
    mutex->unlock();
    EXPECT_EQ(mutex->lock(0), LockResult::Acquired);
    mutex->unlock();
}

TEST_F(SharedMemoryTest, ANewWriterTakesOverNamesLeftByACrashedOne)
{
    const std::string ready = (root() / "held").string();
    {
        Child writer({"shm-writer", "3", ready});
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(ready); }));
        writer.killHard(); // dies holding the mutex, leaving both names behind
    }
    auto reader = SharedMemory::open(protocol::kMemoryName);
    ASSERT_TRUE(reader);

    auto mutex = NamedMutex::create(protocol::kMutexName);
    ASSERT_TRUE(mutex);
    EXPECT_EQ(mutex->lock(1000), LockResult::AcquiredOwnerDied);
    mutex->unlock();

    // A smaller request keeps the larger object: the old reader mapped all of it.
    auto memory = SharedMemory::create(protocol::kMemoryName, 4096);
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->size(), reader->size());
    EXPECT_FALSE(reader->isReplaced());
    memory->data()[100] = 0x5A;
    EXPECT_EQ(reader->data()[100], 0x5A);

    // Growing keeps the object; the writer's end removes the names.
    auto larger = SharedMemory::create(protocol::kMemoryName, 2 * protocol::kMemorySize);
    ASSERT_TRUE(larger);
    EXPECT_EQ(larger->size(), 2 * protocol::kMemorySize);
    memory.reset();
    larger.reset();
    mutex.reset();
    EXPECT_TRUE(reader->isReplaced());
    EXPECT_FALSE(SharedMemory::open(protocol::kMemoryName));
    EXPECT_FALSE(NamedMutex::open(protocol::kMutexName));
}

TEST_F(SharedMemoryTest, AMutexObjectLeftHalfMadeIsReplaced)
{
    // A creator that died between creating the object and initialising the mutex.
    const std::string name = sharedObjectName(protocol::kMutexName);
    const int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 128), 0);
    ::close(fd);

    std::string error;
    EXPECT_FALSE(NamedMutex::open(protocol::kMutexName, &error));
    EXPECT_FALSE(error.empty());
    auto mutex = NamedMutex::create(protocol::kMutexName, &error);
    ASSERT_TRUE(mutex) << error;
    auto other = NamedMutex::open(protocol::kMutexName);
    ASSERT_TRUE(other);
    ASSERT_EQ(mutex->lock(0), LockResult::Acquired);
    std::thread([&] { EXPECT_EQ(other->lock(50), LockResult::TimedOut); }).join();
    mutex->unlock();
}

TEST_F(SharedMemoryTest, RefusesMissingUndersizedAndBadlyNamedObjects)
{
    EXPECT_FALSE(SharedMemory::open("ZtMemMapFile04"));
    auto memory = SharedMemory::create("ZtMemMapFile04", 1000);
    ASSERT_TRUE(memory);
    EXPECT_FALSE(SharedMemory::open("ZtMemMapFile04", 1001));
    EXPECT_TRUE(SharedMemory::open("ZtMemMapFile04", 1000));
    EXPECT_FALSE(SharedMemory::create("../etc", 1000));
    EXPECT_FALSE(SharedMemory::create("ZtMemMapFile05", 0));
    EXPECT_FALSE(NamedMutex::create("a/b"));
    EXPECT_TRUE(sharedObjectName("x/y").empty());

    // The runtime folder is part of the name, so sessions (and tests) never share objects.
    const std::string before = sharedObjectName("ZtMemMapFile04");
    ::setenv("XDG_RUNTIME_DIR", (root() / "data").c_str(), 1);
    EXPECT_NE(sharedObjectName("ZtMemMapFile04"), before);
    EXPECT_FALSE(SharedMemory::open("ZtMemMapFile04"));
}

} // namespace
} // namespace vantry::platform
