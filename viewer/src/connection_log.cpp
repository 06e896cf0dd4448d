#include "viewer/connection_log.h"

#include <cerrno>

namespace vantry::viewer {

namespace {

struct ErrnoMapping {
    int errnoValue;
    int winsock;
};

// errno -> Windows Sockets error, for every error the connection log names.
constexpr ErrnoMapping kErrnoMappings[] = {
    { EINTR, 10004 },        { EACCES, 10013 },         { EFAULT, 10014 },       { EINVAL, 10022 },
    { EMFILE, 10024 },       { ENFILE, 10024 },         { EWOULDBLOCK, 10035 },  { EINPROGRESS, 10036 },
    { EALREADY, 10037 },     { ENOTSOCK, 10038 },       { EBADF, 10038 },        { EPROTOTYPE, 10041 },
    { EPROTONOSUPPORT, 10043 }, { ESOCKTNOSUPPORT, 10044 }, { EAFNOSUPPORT, 10047 }, { EADDRINUSE, 10048 },
    { EADDRNOTAVAIL, 10049 }, { ENETDOWN, 10050 },      { ENETUNREACH, 10051 },  { EHOSTUNREACH, 10051 },
    { ECONNABORTED, 10053 }, { ECONNRESET, 10054 },     { EPIPE, 10054 },        { ENOBUFS, 10055 },
    { ENOMEM, 10055 },       { EISCONN, 10056 },        { ETIMEDOUT, 10060 },    { ECONNREFUSED, 10061 },
};

struct FailureText {
    SocketCall call;
    int winsock;
    const char* text;
};

constexpr FailureText kFailureTexts[] = {
    { SocketCall::Socket, 10024, "No more socket descriptors are available." },
    { SocketCall::Socket, 10036, "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still processing a callback function." },
    { SocketCall::Socket, 10041, "The specified protocol is the wrong type for this socket." },
    { SocketCall::Socket, 10043, "The specified protocol is not supported." },
    { SocketCall::Socket, 10044, "The specified socket type is not supported in this address family." },
    { SocketCall::Socket, 10047, "The specified address family is not supported." },
    { SocketCall::Socket, 10050, "The network subsystem or the associated service provider has failed." },
    { SocketCall::Socket, 10055, "No buffer space is available. The socket cannot be created." },
    { SocketCall::Socket, 10093, "A successful WSAStartup call must occur before using this function." },
    { SocketCall::Connect, 10004, "The blocking Windows Socket 1.1 call was canceled through WSACancelBlockingCall." },
    { SocketCall::Connect, 10013, "Attempt to connect datagram socket to broadcast address failed because setsockopt option SO_BROADCAST is not enabled." },
    { SocketCall::Connect, 10014, "The name or the namelen parameter is not a valid part of the user address space, the namelen parameter is too small, or the name parameter contains incorrect address format for the associated address family." },
    { SocketCall::Connect, 10022, "The parameter s is a listening socket." },
    { SocketCall::Connect, 10035, "The socket is marked as nonblocking and the connection cannot be completed immediately." },
    { SocketCall::Connect, 10036, "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still processing a callback function." },
    { SocketCall::Connect, 10037, "A nonblocking connect call is in progress on the specified socket. " },
    { SocketCall::Connect, 10038, "The descriptor is not a socket." },
    { SocketCall::Connect, 10047, "Addresses in the specified family cannot be used with this socket." },
    { SocketCall::Connect, 10048, "The socket's local address is already in use and the socket was not marked to allow address reuse with SO_REUSEADDR. This error usually occurs when executing bind, but could be delayed until this function if the bind was to a partially wildcard address (involving ADDR_ANY) and if a specific address needs to be committed at the time of this function." },
    { SocketCall::Connect, 10049, "The remote address is not a valid address (such as ADDR_ANY)." },
    { SocketCall::Connect, 10050, "The network subsystem has failed." },
    { SocketCall::Connect, 10051, "The network cannot be reached from this host at this time." },
    { SocketCall::Connect, 10055, "No buffer space is available. The socket cannot be connected." },
    { SocketCall::Connect, 10056, "The socket is already connected (connection-oriented sockets only)." },
    { SocketCall::Connect, 10060, "Attempt to connect timed out without establishing a connection." },
    { SocketCall::Connect, 10061, "The attempt to connect was forcefully rejected." },
    { SocketCall::Connect, 10093, "A successful WSAStartup call must occur before using this function." },
};

} // namespace

int winsockErrorFromErrno(int errnoValue)
{
    for (const ErrnoMapping& mapping : kErrnoMappings) {
        if (mapping.errnoValue == errnoValue)
            return mapping.winsock;
    }
    return 0;
}

std::string_view connectFailureText(SocketCall call, int winsockError)
{
    for (const FailureText& entry : kFailureTexts) {
        if (entry.call == call && entry.winsock == winsockError)
            return entry.text;
    }
    return {};
}

void ConnectionLog::connectFailure(SocketCall call, int errnoValue)
{
    const std::string_view text = connectFailureText(call, winsockErrorFromErrno(errnoValue));
    if (!text.empty())
        write(std::string("Connect(Fail):") + std::string(text));
}

} // namespace vantry::viewer
