// The operation and event log: a fixed-size ring of records in Log.Dat in the data folder.
//
// File layout (little-endian):
//   offset 0          int32 newest slot index, -1 when nothing was ever written
//   offset 4 + 272*k  record k, k = 0 .. capacity-1
// Record: uint32 time (seconds since 1970 UTC, 0 = empty slot), int32 type, int32 camera
// (-1 = the system), 260 bytes of NUL-terminated text (at most 259 characters).
// The capacity is not stored in the file; it is the setting nMaxOfLogs.
//
// One object per process; any thread may add entries. One re-entrant lock serialises every
// access to the file; a read pass holds it from BeginRead to EndRead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/station_settings.h"

namespace vantry::common {

enum class LogEntryType : int32_t { Operation = 0, Event = 1, Option = 2, Connection = 3 };

inline constexpr int32_t kSystemCamera = -1;
inline constexpr std::size_t kLogHeaderBytes = 4;
inline constexpr std::size_t kLogRecordBytes = 272;
inline constexpr std::size_t kLogTextBytes = 260;
inline constexpr int kDefaultLogCapacity = 100;

struct LogRecord {
    uint32_t time = 0;
    int32_t type = 0;
    int32_t camera = kSystemCamera;
    std::string text;
};

// Size of a log file of the given capacity.
constexpr std::size_t logFileBytes(int capacity)
{
    return kLogHeaderBytes + kLogRecordBytes * static_cast<std::size_t>(capacity);
}

class EventLog {
public:
    EventLog() = default;
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Reads section Log of the settings file, then opens dataFolder/Log.Dat or creates it
    // (header -1 and capacity empty records, written whole or not at all). A file whose header
    // cannot be read is deleted and the log is disabled for this run. False on failure, with
    // the reason in LastError(); a disabled log writes and reads nothing.
    bool Open(const std::string& settingsPath, const std::string& dataFolder);

    // Appends one record. 1 when it was written, or skipped because its kind is not counted
    // (Event entries without countMotionEvents, Connection entries without
    // countRemoteConnections); 0 on failure or when the log is disabled.
    int AddEntry(LogEntryType type, int32_t camera, std::string_view text);

    // A read pass over the non-empty records, oldest first. BeginRead takes the lock and keeps
    // it until EndRead (on the same thread); it returns false (lock released) on failure.
    bool BeginRead();
    bool NextRecord(LogRecord& record);
    void EndRead();

    // Every non-empty record, oldest first (one read pass); nullopt when the pass fails.
    std::optional<std::vector<LogRecord>> ReadAll();

    // Number of non-empty records, -1 when the log cannot be read.
    int CountEntries();

    // Rebuilds the file for newCapacity keeping the newest entries, replacing Log.Dat in one
    // step. On success the object adopts newCapacity; on failure the old file and capacity stay.
    bool Resize(int oldCapacity, int newCapacity);

    // Writes nMaxOfLogs, fCountInMotionEvents, fCountInRemoteConnections to section Log.
    bool SaveSettings(const std::string& settingsPath);

    std::string LastError() const;
    bool isDisabled() const { return disabled_.load(); }
    std::string path() const;
    int capacity() const { return capacity_.load(); }
    bool countMotionEvents() const { return countMotionEvents_.load(); }
    bool countRemoteConnections() const { return countRemoteConnections_.load(); }
    void setCountMotionEvents(bool count) { countMotionEvents_ = count; }
    void setCountRemoteConnections(bool count) { countRemoteConnections_ = count; }

    // Failures also go here (the text log).
    void setDiagnosticSink(DiagnosticSink sink);
    // Seconds since 1970 for new records; the system clock when not set.
    void setClock(std::function<uint32_t()> clock);

private:
    void fail(std::string text);
    uint32_t now() const;
    bool collectRaw(std::vector<std::vector<uint8_t>>& records);

    mutable std::recursive_mutex mutex_;
    std::string path_;
    std::string lastError_;
    DiagnosticSink diagnostics_;
    std::function<uint32_t()> clock_;
    std::atomic<int> capacity_{kDefaultLogCapacity};
    std::atomic<bool> countMotionEvents_{false};
    std::atomic<bool> countRemoteConnections_{false};
    std::atomic<bool> disabled_{false};

    // The read cursor, shared by all readers.
    int readFd_ = -1;
    int nextSlot_ = -1;
    int readCount_ = 0;
    std::thread::id reader_;
};

} // namespace vantry::common
