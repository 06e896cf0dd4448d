// Shared pieces of the hub tests: private data and runtime folders per test, waiting with the
// Qt loop running, and reading Log.Dat as the log viewer would.
#pragma once

#include "test_support/private_folders.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace vantry::station::test {

inline QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "station_hub_test";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

using vantry::test::PrivateFolders;

struct RawLogEntry {
    uint32_t time = 0;
    int32_t type = 0;
    int32_t camera = 0;
    std::string text;
};

// Every non-empty record of a Log.Dat, in slot order (enough for the few entries a test makes).
inline std::vector<RawLogEntry> readLogFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<RawLogEntry> entries;
    for (size_t offset = 4; offset + 272 <= bytes.size(); offset += 272) {
        RawLogEntry entry;
        std::memcpy(&entry.time, bytes.data() + offset, 4);
        std::memcpy(&entry.type, bytes.data() + offset + 4, 4);
        std::memcpy(&entry.camera, bytes.data() + offset + 8, 4);
        if (entry.time == 0)
            continue;
        entry.text = std::string(bytes.data() + offset + 12, ::strnlen(bytes.data() + offset + 12, 260));
        entries.push_back(entry);
    }
    return entries;
}

inline int countEntries(const std::vector<RawLogEntry>& entries, const std::string& text, int camera)
{
    int count = 0;
    for (const auto& entry : entries)
        if (entry.text == text && entry.camera == camera)
            ++count;
    return count;
}

} // namespace vantry::station::test
