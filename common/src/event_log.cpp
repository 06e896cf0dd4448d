#include "common/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/log_texts.h"
#include "common/service_settings.h"
#include "common/settings_schema.h"
#include "platform/ini_profile.h"

namespace vantry::common {

namespace {

constexpr mode_t kLogFileMode = 0600;

void putLe32(uint8_t* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getLe32(const uint8_t* in)
{
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
           static_cast<uint32_t>(in[3]) << 24;
}

bool preadAll(int fd, uint8_t* buffer, std::size_t size, off_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool pwriteAll(int fd, const uint8_t* buffer, std::size_t size, off_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

off_t slotOffset(int slot)
{
    return static_cast<off_t>(kLogHeaderBytes + kLogRecordBytes * static_cast<std::size_t>(slot));
}

// Longest prefix of at most max bytes that does not end inside a UTF-8 sequence.
std::size_t utf8Prefix(std::string_view text, std::size_t max)
{
    if (text.size() <= max)
        return text.size();
    std::size_t cut = max;
    // Step back over continuation bytes to the lead byte of the sequence the cut splits.
    std::size_t lead = cut;
    while (lead > 0 && (static_cast<uint8_t>(text[lead]) & 0xC0) == 0x80 && cut - lead < 4)
        --lead;
    if (lead != cut)
        cut = lead;
    return cut;
}

std::vector<uint8_t> emptyLogFile(int capacity)
{
    std::vector<uint8_t> bytes(logFileBytes(capacity), 0);
    putLe32(bytes.data(), 0xFFFFFFFFu);
    return bytes;
}

std::string systemError(const std::string& what, const std::string& path, int error)
{
    return what + " " + path + ": " + std::strerror(error);
}

} // namespace

EventLog::~EventLog()
{
    if (readFd_ >= 0)
        ::close(readFd_);
}

void EventLog::setDiagnosticSink(DiagnosticSink sink)
{
    std::lock_guard lock(mutex_);
    diagnostics_ = std::move(sink);
}

void EventLog::setClock(std::function<uint32_t()> clock)
{
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

uint32_t EventLog::now() const
{
    return clock_ ? clock_() : static_cast<uint32_t>(std::time(nullptr));
}

void EventLog::fail(std::string text)
{
    lastError_ = std::move(text);
    if (diagnostics_)
        diagnostics_("Log: " + lastError_);
}

std::string EventLog::LastError() const
{
    std::lock_guard lock(mutex_);
    return lastError_;
}

std::string EventLog::path() const
{
    std::lock_guard lock(mutex_);
    return path_;
}

bool EventLog::Open(const std::string& settingsPath, const std::string& dataFolder)
{
    std::lock_guard lock(mutex_);
    platform::IniDocument settings;
    settings.loadFile(settingsPath);
    LogSettings values;
    readSettings(settings, values, 0, SettingsContext{});
    capacity_ = values.maxOfLogs;
    countMotionEvents_ = values.countMotionEvents != 0;
    countRemoteConnections_ = values.countRemoteConnections != 0;
    path_ = dataFolder + "/Log.Dat";
    disabled_ = false;

    const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        uint8_t header[kLogHeaderBytes];
        const bool readable = preadAll(fd, header, sizeof header, 0);
        ::close(fd);
        if (!readable) {
            // The next start makes a fresh file.
            ::unlink(path_.c_str());
            disabled_ = true;
            fail(std::string(logtext::kErrorReadCount));
            return false;
        }
        return true;
    }
    if (errno != ENOENT) {
        disabled_ = true;
        fail(systemError("cannot open", path_, errno));
        return false;
    }
    const std::vector<uint8_t> fresh = emptyLogFile(capacity_);
    std::string error;
    if (!platform::writeWholeFile(path_, std::string_view(reinterpret_cast<const char*>(fresh.data()), fresh.size()),
                                  kLogFileMode, &error)) {
        disabled_ = true;
        fail(error);
        return false;
    }
    return true;
}

int EventLog::AddEntry(LogEntryType type, int32_t camera, std::string_view text)
{
    if (disabled_)
        return 0;
    if ((type == LogEntryType::Event && !countMotionEvents_) ||
        (type == LogEntryType::Connection && !countRemoteConnections_))
        return 1;

    std::lock_guard lock(mutex_);
    const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        fail(systemError("cannot open", path_, errno));
        return 0;
    }
    uint8_t header[kLogHeaderBytes];
    if (!preadAll(fd, header, sizeof header, 0)) {
        ::close(fd);
        fail(std::string(logtext::kErrorReadCount));
        return 0;
    }
    const int capacity = capacity_;
    const auto stored = static_cast<int32_t>(getLe32(header));
    // A header outside the ring (a file made for a larger capacity, or damaged) restarts at
    // slot 0 instead of writing past the end of the ring forever.
    const int slot = (stored < 0 || stored + 1 >= capacity) ? 0 : stored + 1;

    uint8_t record[kLogRecordBytes] = {};
    putLe32(record, now());
    putLe32(record + 4, static_cast<uint32_t>(type));
    putLe32(record + 8, static_cast<uint32_t>(camera));
    const std::string_view body = text.substr(0, std::min(text.find('\0'), text.size()));
    const std::size_t length = utf8Prefix(body, kLogTextBytes - 1);
    std::memcpy(record + 12, body.data(), length);

    // What the slot held, so that a failed write (a full disk) can be taken back whole.
    struct stat info {};
    const off_t offset = slotOffset(slot);
    const off_t oldSize = ::fstat(fd, &info) == 0 ? info.st_size : -1;
    uint8_t previous[kLogRecordBytes] = {};
    const std::size_t previousBytes =
        oldSize > offset ? std::min(kLogRecordBytes, static_cast<std::size_t>(oldSize - offset)) : 0;
    if (previousBytes > 0 && !preadAll(fd, previous, previousBytes, offset)) {
        const int error = errno;
        ::close(fd);
        fail(systemError("cannot read", path_, error));
        return 0;
    }

    // The record goes first: until the header names it, readers still see the old ring.
    if (!pwriteAll(fd, record, sizeof record, offset)) {
        const int error = errno;
        if (previousBytes > 0)
            (void)pwriteAll(fd, previous, previousBytes, offset);
        if (oldSize >= 0)
            (void)::ftruncate(fd, oldSize);
        ::close(fd);
        fail(systemError("cannot write", path_, error));
        return 0;
    }
    putLe32(header, static_cast<uint32_t>(slot));
    if (!pwriteAll(fd, header, sizeof header, 0)) {
        const int error = errno;
        ::close(fd);
        fail(systemError("cannot write", path_, error));
        return 0;
    }
    if (::close(fd) != 0) {
        fail(systemError("cannot write", path_, errno));
        return 0;
    }
    return 1;
}

bool EventLog::BeginRead()
{
    if (disabled_)
        return false;
    mutex_.lock();
    if (readFd_ >= 0 && reader_ == std::this_thread::get_id()) {
        // A pass of this thread is still open: start over.
        ::close(readFd_);
        readFd_ = -1;
        mutex_.unlock();
    }
    readFd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (readFd_ < 0) {
        fail(systemError("cannot open", path_, errno));
        mutex_.unlock();
        return false;
    }
    uint8_t header[kLogHeaderBytes];
    if (!preadAll(readFd_, header, sizeof header, 0)) {
        ::close(readFd_);
        readFd_ = -1;
        fail(std::string(logtext::kErrorReadCount));
        mutex_.unlock();
        return false;
    }
    const auto newest = static_cast<int32_t>(getLe32(header));
    nextSlot_ = (newest < -1 || newest >= capacity_ - 1) ? 0 : newest + 1;
    readCount_ = 0;
    reader_ = std::this_thread::get_id();
    return true; // the lock stays held until EndRead
}

bool EventLog::NextRecord(LogRecord& record)
{
    std::lock_guard lock(mutex_);
    if (readFd_ < 0 || reader_ != std::this_thread::get_id())
        return false;
    const int capacity = capacity_;
    while (readCount_ < capacity) {
        if (nextSlot_ >= capacity)
            nextSlot_ = 0;
        uint8_t raw[kLogRecordBytes];
        if (!preadAll(readFd_, raw, sizeof raw, slotOffset(nextSlot_)))
            return false;
        ++nextSlot_;
        ++readCount_;
        const uint32_t time = getLe32(raw);
        if (time == 0)
            continue;
        record.time = time;
        record.type = static_cast<int32_t>(getLe32(raw + 4));
        record.camera = static_cast<int32_t>(getLe32(raw + 8));
        const char* text = reinterpret_cast<const char*>(raw + 12);
        record.text.assign(text, ::strnlen(text, kLogTextBytes - 1));
        return true;
    }
    return false;
}

void EventLog::EndRead()
{
    std::unique_lock lock(mutex_);
    if (readFd_ < 0 || reader_ != std::this_thread::get_id())
        return;
    ::close(readFd_);
    readFd_ = -1;
    nextSlot_ = -1;
    readCount_ = 0;
    reader_ = std::thread::id();
    mutex_.unlock(); // the hold taken by BeginRead
}

std::optional<std::vector<LogRecord>> EventLog::ReadAll()
{
    if (!BeginRead())
        return std::nullopt;
    std::vector<LogRecord> records;
    LogRecord record;
    while (NextRecord(record))
        records.push_back(record);
    EndRead();
    return records;
}

int EventLog::CountEntries()
{
    const auto records = ReadAll();
    return records ? static_cast<int>(records->size()) : -1;
}

bool EventLog::collectRaw(std::vector<std::vector<uint8_t>>& records)
{
    if (!BeginRead())
        return false;
    const int capacity = capacity_;
    while (readCount_ < capacity) {
        if (nextSlot_ >= capacity)
            nextSlot_ = 0;
        std::vector<uint8_t> raw(kLogRecordBytes);
        if (!preadAll(readFd_, raw.data(), raw.size(), slotOffset(nextSlot_)))
            break;
        ++nextSlot_;
        ++readCount_;
        if (getLe32(raw.data()) != 0)
            records.push_back(std::move(raw));
    }
    EndRead();
    return true;
}

bool EventLog::Resize(int oldCapacity, int newCapacity)
{
    std::lock_guard lock(mutex_);
    if (disabled_) {
        fail("the log is disabled");
        return false;
    }
    if (newCapacity <= 0) {
        fail("invalid log size " + std::to_string(newCapacity));
        return false;
    }
    if (oldCapacity == newCapacity && oldCapacity == capacity_)
        return true;
    const int previousCapacity = capacity_;
    if (oldCapacity > 0)
        capacity_ = oldCapacity;

    // The lock is held from the read to the replacement, so no entry added meanwhile is lost.
    std::vector<std::vector<uint8_t>> records;
    if (!collectRaw(records)) {
        capacity_ = previousCapacity;
        return false;
    }
    std::vector<uint8_t> bytes = emptyLogFile(newCapacity);
    const std::size_t keep = std::min(records.size(), static_cast<std::size_t>(newCapacity));
    const std::size_t skip = records.size() - keep;
    for (std::size_t i = 0; i < keep; ++i)
        std::memcpy(bytes.data() + slotOffset(static_cast<int>(i)), records[skip + i].data(), kLogRecordBytes);
    putLe32(bytes.data(), keep == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(keep - 1));

    std::string error;
    if (!platform::writeWholeFile(path_, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                  kLogFileMode, &error)) {
        capacity_ = previousCapacity;
        fail(error);
        return false;
    }
    capacity_ = newCapacity;
    return true;
}

bool EventLog::SaveSettings(const std::string& settingsPath)
{
    LogSettings values;
    values.maxOfLogs = capacity_;
    values.countMotionEvents = countMotionEvents_ ? 1 : 0;
    values.countRemoteConnections = countRemoteConnections_ ? 1 : 0;
    std::string error;
    const bool saved = platform::updateProfile(
        settingsPath, platform::kPrivateFileMode,
        [&](platform::IniDocument& document) { writeSettings(document, values, 0, SettingsContext{}); }, &error);
    if (!saved) {
        std::lock_guard lock(mutex_);
        fail(error);
    }
    return saved;
}

} // namespace vantry::common
