// The viewer's connection log ("vyremote.Log" in its data folder): one time-stamped line per
// connect failure, send-thread start failure or record-header failure, rotated at 100 lines.
// Failures of system calls are reported with the Windows Sockets error numbers and texts that
// the log has always carried, mapped from errno, so that logs read the same on every system.
#pragma once

#include "common/text_log.h"

#include <string>
#include <string_view>

namespace vantry::viewer {

enum class SocketCall { Socket, Connect };

inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaETimedOut = 10060;
inline constexpr int kWsaEConnAborted = 10053;
inline constexpr int kWsaEConnReset = 10054;

// The Windows Sockets error number for an errno value (0 when none matches).
int winsockErrorFromErrno(int errnoValue);
// The log text after "Connect(Fail):" for a failed call, or empty when that error is not
// logged.
std::string_view connectFailureText(SocketCall call, int winsockError);

class ConnectionLog {
public:
    bool open(const std::string& path) { return log_.Open(path); }
    void close() { log_.Close(); }
    void write(std::string_view text) { log_.Write(text); }
    // Logs "Connect(Fail):" + the text for errnoValue; nothing for errors without a text.
    void connectFailure(SocketCall call, int errnoValue);
    std::string path() const { return log_.path(); }

private:
    common::TextLog log_;
};

} // namespace vantry::viewer
