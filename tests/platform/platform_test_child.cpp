// The other program in the platform tests. Modes:
//   endpoint <class>              a message endpoint that answers the tests' messages
//   hold-instance <name> <file>   takes the instance lock, creates <file>, waits to be killed
//   shm-writer <records> <file>   writes camera records under the named mutex, then holds the
//                                 mutex, creates <file> and waits to be killed
//   dump-args <file> <args...>    writes its arguments, VANTRY_SHOW and working folder to <file>
#include "child_protocol.h"
#include "platform/endpoint.h"
#include "platform/instance_lock.h"
#include "platform/named_mutex.h"
#include "platform/shared_memory.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

using namespace vantry::platform;
namespace protocol = vantry::platform::test::protocol;

namespace {

void touch(const std::string& path)
{
    std::ofstream(path) << "ready\n";
}

[[noreturn]] void waitToBeKilled()
{
    for (;;)
        ::pause();
}

int runEndpoint(int argc, char** argv, const std::string& className)
{
    QCoreApplication app(argc, argv);
    std::uint32_t inOrder = 0;
    bool disordered = false;
    auto handler = [&](const Message& message) -> std::int32_t {
        switch (message.msg) {
        case protocol::kNumbered:
            if (message.wParam == inOrder)
                ++inOrder;
            else
                disordered = true;
            return 0;
        case protocol::kCountInOrder:
            return disordered ? -1 : static_cast<std::int32_t>(inOrder);
        case protocol::kAdd:
            return static_cast<std::int32_t>(message.wParam) + message.lParam;
        case protocol::kAskBack: {
            std::int32_t answer = 0;
            if (!sendMessage(message.sender, protocol::kDouble, message.wParam, 0, 3000, &answer))
                return -1;
            return answer + 1;
        }
        case protocol::kPostBack:
            for (std::uint32_t i = 0; i < message.wParam; ++i)
                postMessage(message.sender, protocol::kNumbered, i, 0);
            postMessage(message.sender, protocol::kEnd, message.wParam, 0);
            return 0;
        case protocol::kStall:
            std::this_thread::sleep_for(std::chrono::milliseconds(message.wParam));
            return 1;
        case kMsgCopyData:
            if (message.wParam != message.sender)
                return -1;
            return static_cast<std::int32_t>(protocol::checksum(message.copyData) ^ message.copyDataType);
        case kMsgClose:
            QCoreApplication::quit();
            return 0;
        default:
            return 0;
        }
    };
    std::string error;
    auto endpoint = Endpoint::create(className, "", handler, &error);
    if (!endpoint) {
        std::fprintf(stderr, "endpoint: %s\n", error.c_str());
        return 2;
    }
    return app.exec();
}

int holdInstance(const std::string& name, const std::string& readyFile)
{
    InstanceLockFailure failure = InstanceLockFailure::Unavailable;
    auto lock = InstanceLock::acquire(name, &failure);
    if (!lock)
        return failure == InstanceLockFailure::HeldElsewhere ? 3 : 2;
    touch(readyFile);
    waitToBeKilled();
}

int writeRecords(int records, const std::string& readyFile)
{
    std::string error;
    auto mutex = NamedMutex::create(protocol::kMutexName, &error);
    auto memory = SharedMemory::create(protocol::kMemoryName, protocol::kMemorySize, &error);
    if (!mutex || !memory) {
        std::fprintf(stderr, "shm-writer: %s\n", error.c_str());
        return 2;
    }
    for (int i = 1; i <= records; ++i) {
        {
            NamedMutexLock lock(*mutex);
            if (!lock.ownsLock())
                return 4;
            protocol::writeRecord(memory->data(), memory->size(), static_cast<std::uint32_t>(i));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (!isLocked(mutex->lock()))
        return 4;
    touch(readyFile); // dies holding the mutex
    waitToBeKilled();
}

int dumpArguments(int argc, char** argv)
{
    const std::string target = argv[2];
    const std::string partial = target + ".partial";
    // Descriptors beyond the standard three that the starter let through.
    std::string inherited;
    for (int fd = 3; fd < 1024; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1)
            inherited += std::to_string(fd) + " ";
    }
    {
        std::ofstream out(partial, std::ios::binary);
        for (int i = 3; i < argc; ++i)
            out << "arg:" << argv[i] << '\n';
        const char* show = std::getenv("VANTRY_SHOW");
        out << "show:" << (show != nullptr ? show : "<unset>") << '\n';
        char folder[4096] = {};
        out << "cwd:" << (::getcwd(folder, sizeof folder) != nullptr ? folder : "?") << '\n';
        out << "fds:" << inherited << '\n';
    }
    return std::rename(partial.c_str(), target.c_str()) == 0 ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 64;
    const std::string mode = argv[1];
    if (mode == "endpoint" && argc == 3)
        return runEndpoint(argc, argv, argv[2]);
    if (mode == "hold-instance" && argc == 4)
        return holdInstance(argv[2], argv[3]);
    if (mode == "shm-writer" && argc == 4)
        return writeRecords(std::atoi(argv[2]), argv[3]);
    if (mode == "dump-args" && argc >= 3)
        return dumpArguments(argc, argv);
    return 64;
}
