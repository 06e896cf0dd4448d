// The diagnostic text log (vantry.log in the data folder): one line per message,
// "%Y-%m-%d %H:%M:%S - " (local time) + message + CR LF. For failures of background work that no
// window shows. At 100 lines the file is copied over vantry.log1 and emptied, so the last 100
// to 199 messages survive in the two files.
#pragma once

#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace vantry::common {

class TextLog {
public:
    static constexpr int kRotateLines = 100;

    TextLog() = default;
    TextLog(const TextLog&) = delete;
    TextLog& operator=(const TextLog&) = delete;

    // Opens (creating an empty file when missing) and enables the log; rotates at once when
    // the file already holds 100 lines or more. False with LastError() when the file cannot be
    // created or read; the log then stays disabled (messages still reach standard error when
    // echo is on).
    bool Open(const std::string& path);
    // Disables the log; later messages are ignored.
    void Close();

    // Appends one line. Control characters in text become blanks, so that one message is
    // always one line. False when the log is disabled or the line could not be written whole
    // (a line is never left half-written).
    bool Write(std::string_view text);

    // The headless station also shows every line on standard error.
    void setEchoToStderr(bool echo);

    bool isEnabled() const;
    int lineCount() const;
    std::string path() const;
    std::string LastError() const;

    // The line Write would append for text at time t (without CR LF), for tests and the echo.
    static std::string formatLine(std::string_view text, std::time_t t);

private:
    bool rotateLocked();

    mutable std::mutex mutex_;
    std::string path_;
    std::string lastError_;
    int lineCount_ = 0;
    bool enabled_ = false;
    bool echo_ = false;
};

} // namespace vantry::common
