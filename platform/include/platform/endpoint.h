// Message endpoints: how the programs find and message each other, and how threads of one
// program hand messages to its main thread.
//
// Each program that others must reach creates one Endpoint for its main window, named by a
// class name ("VYWatch", "VYVServer", "VYRemote", "VYPlayer") and a title ("Gateray"). The
// endpoint is a Unix-domain socket in the runtime folder (see folders.h); its handle is a
// nonzero 31-bit id. Messages for it are delivered to its handler on the Qt main thread, one
// at a time, posted ones in the order they arrived (from one sender: the order posted).
//
// Sent messages and copy-data block the sender until the receiver's handler has returned its
// result, bounded by a timeout. While a program's main thread waits in sendMessage or
// sendCopyData, messages *sent* to that program are still handled (posted ones wait), so two
// programs sending to each other cannot deadlock. A sent message may overtake messages the
// same sender posted earlier, as with the window messages these stand for.
//
// All free functions are thread-safe. An Endpoint is created and destroyed on the main thread
// of a QCoreApplication, and destroyed before that application; its handler must not destroy
// it. Messages still queued when it is destroyed are dropped, and senders waiting on them fail
// at once.
#pragma once

#include "platform/messages.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace vantry::platform {

inline constexpr int kDefaultSendTimeoutMs = 5000;
// A posted message waits at most this long for room in the receiver's socket buffer (the
// receiver's queue is full or its reader is stuck); then posting fails.
inline constexpr int kPostTimeoutMs = 1000;

class Endpoint {
public:
    // The handler's result is the answer to a sent message or copy-data (ignored for posted
    // ones).
    using Handler = std::function<std::int32_t(const Message&)>;

    // Creates the endpoint and makes it findable by `className` and `title` (an empty title
    // is not findable; titles of more than 100 bytes neither). Class names are 1..64 of
    // A-Z a-z 0-9 _ -. Null on failure, with the reason in *error when given: no
    // QCoreApplication or not its thread, bad class name, no usable runtime folder, socket
    // path too long, or a system error.
    static std::unique_ptr<Endpoint> create(std::string_view className, std::string_view title, Handler handler,
                                            std::string* error = nullptr);
    ~Endpoint();
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;

    WindowHandle handle() const;
    std::string className() const;
    std::string title() const;
    // Changes the title under which the endpoint is found. False when the new title cannot
    // be published (the old one is then no longer findable either).
    bool setTitle(std::string_view title);

    // Thread-safe: queues (msg, wParam, lParam) for this endpoint's handler on the main
    // thread, in one order with the messages arriving from other programs. The handler sees
    // the endpoint's own handle as sender. False only when the endpoint is being destroyed.
    bool postLocal(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam);

    class Impl;

private:
    explicit Endpoint(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The handle of a live endpoint of that class (or title) in this user's runtime folder, or
// kNoWindow. Markers of programs that died are removed on the way.
WindowHandle findWindow(std::string_view className);
WindowHandle findWindowByTitle(std::string_view title);
// Whether `handle` names a live endpoint.
bool isWindow(WindowHandle handle);

// Queues a message for the endpoint's handler; true when it was handed over. Does not wait
// for the handler. Posting to an endpoint of this program queues it locally.
bool postMessage(WindowHandle handle, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam);

// Delivers a message and waits at most `timeoutMs` for the handler's result. False when the
// window does not exist, the connection fails or the time runs out (the receiver may still
// handle the message later). Sending to an endpoint of this program from its main thread
// calls the handler directly.
bool sendMessage(WindowHandle handle, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam,
                 int timeoutMs = kDefaultSendTimeoutMs, std::int32_t* result = nullptr);

// Copy-data: `bytes` (at most 4 MiB) arrive whole as Message::copyData with `dataType`,
// synchronously like sendMessage; the receiver sees msg kMsgCopyData and the sender's handle
// in wParam.
bool sendCopyData(WindowHandle handle, std::uint32_t dataType, std::span<const std::uint8_t> bytes,
                  int timeoutMs = kDefaultSendTimeoutMs, std::int32_t* result = nullptr);

} // namespace vantry::platform
