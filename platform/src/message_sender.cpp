// The sending side of the message endpoints: posting through a kept connection per target,
// sending and copy-data over a connection of their own with a bounded wait.
#include "platform/endpoint.h"

#include "endpoint_internal.h"
#include "platform/folders.h"
#include "window_directory.h"

#include <QCoreApplication>

#include <cerrno>
#include <condition_variable>
#include <poll.h>
#include <sys/socket.h>
#include <unordered_map>

namespace vantry::platform {

using namespace detail;

namespace detail {

std::uint32_t nextSequence()
{
    static std::atomic<std::uint32_t> sequence{1};
    return sequence.fetch_add(1);
}

} // namespace detail

namespace {

// The connection this program posts through to one endpoint, kept so that messages from one
// sender arrive in the order posted.
struct OutboundConnection {
    UniqueFd fd;
    std::mutex writeMutex;
    bool broken = false; // guarded by writeMutex
};

struct OutboundCache {
    std::mutex mutex;
    std::unordered_map<WindowHandle, std::shared_ptr<OutboundConnection>> connections;
};

OutboundCache& outboundCache()
{
    static OutboundCache cache;
    return cache;
}

std::shared_ptr<OutboundConnection> outboundConnection(WindowHandle handle, bool fresh)
{
    OutboundCache& cache = outboundCache();
    std::lock_guard lock(cache.mutex);
    auto found = cache.connections.find(handle);
    if (found != cache.connections.end()) {
        if (!fresh)
            return found->second;
        cache.connections.erase(found);
    }
    UniqueFd fd = detail::connectUnix(detail::socketPath(runtimeFolder(), handle));
    if (!fd.valid())
        return nullptr;
    auto connection = std::make_shared<OutboundConnection>();
    connection->fd = std::move(fd);
    cache.connections.emplace(handle, connection);
    return connection;
}

void dropOutboundConnection(WindowHandle handle, const std::shared_ptr<OutboundConnection>& connection)
{
    OutboundCache& cache = outboundCache();
    std::lock_guard lock(cache.mutex);
    auto found = cache.connections.find(handle);
    if (found != cache.connections.end() && found->second == connection)
        cache.connections.erase(found);
}

bool isValidTarget(WindowHandle handle)
{
    return handle != kNoWindow && handle <= wire::kMaxHandle;
}

struct WaitState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool handled = false;
    std::int32_t result = 0;
};

enum class LocalOutcome { NotLocal, Delivered, Failed };

// Sends to an endpoint of this program: directly on the main thread, else through its queue
// with a bounded wait.
LocalOutcome sendLocal(WindowHandle handle, Message message, Clock::time_point deadline, std::int32_t* result)
{
    Registry& reg = registry();
    std::unique_lock lock(reg.mutex);
    Endpoint::Impl* target = reg.find(handle);
    if (target == nullptr)
        return LocalOutcome::NotLocal;
    if (isMainThread()) {
        lock.unlock();
        const std::int32_t value = target->callHandler(message);
        if (result != nullptr)
            *result = value;
        return LocalOutcome::Delivered;
    }
    auto state = std::make_shared<WaitState>();
    auto item = std::make_shared<Incoming>();
    item->message = std::move(message);
    item->message.delivery = Delivery::Sent;
    item->complete = [state](std::int32_t value, bool handled) {
        std::lock_guard stateLock(state->mutex);
        state->finished = true;
        state->handled = handled;
        state->result = value;
        state->done.notify_all();
    };
    target->enqueue(std::move(item));
    lock.unlock();
    std::unique_lock stateLock(state->mutex);
    if (!state->done.wait_until(stateLock, deadline, [&] { return state->finished; }) || !state->handled)
        return LocalOutcome::Failed;
    if (result != nullptr)
        *result = state->result;
    return LocalOutcome::Delivered;
}

// Sends a frame over a connection of its own and waits for the reply, serving messages sent
// to this program meanwhile when called on the main thread.
bool sendRemote(WindowHandle handle, wire::Frame frame, Clock::time_point deadline, std::int32_t* result)
{
    frame.sender = primarySender();
    frame.sequence = nextSequence();
    const std::vector<std::uint8_t> bytes = wire::encodeFrame(frame);
    if (bytes.empty())
        return false;
    UniqueFd fd = detail::connectUnix(detail::socketPath(runtimeFolder(), handle));
    if (!fd.valid() || !detail::writeAll(fd.get(), bytes.data(), bytes.size(), deadline))
        return false;
    const bool serveNested = isMainThread();
    wire::FrameAssembler assembler;
    std::uint8_t buffer[256];
    for (;;) {
        pollfd fds[2] = {{fd.get(), POLLIN, 0}, {sentQueue().signalFd(), POLLIN, 0}};
        const int left = detail::remainingMs(deadline);
        if (left == 0)
            return false;
        const int ready = ::poll(fds, serveNested ? 2 : 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        if (serveNested && fds[1].revents != 0)
            serveWaitingSentMessages();
        if (fds[0].revents == 0)
            continue;
        const ssize_t count = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (count == 0)
            return false;
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return false;
        }
        assembler.append(buffer, static_cast<std::size_t>(count));
        wire::Frame reply;
        const wire::DecodeStatus status = assembler.next(reply);
        if (status == wire::DecodeStatus::NeedMore)
            continue;
        if (status == wire::DecodeStatus::Invalid || reply.kind != wire::FrameKind::Reply
            || reply.sequence != frame.sequence)
            return false;
        if (result != nullptr)
            *result = reply.lParam;
        return true;
    }
}

bool sendAndWait(WindowHandle handle, wire::Frame frame, Message local, int timeoutMs, std::int32_t* result)
{
    if (!isValidTarget(handle))
        return false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    local.sender = primarySender();
    local.delivery = Delivery::Sent;
    if (local.msg == kMsgCopyData)
        local.wParam = local.sender;
    switch (sendLocal(handle, std::move(local), deadline, result)) {
    case LocalOutcome::Delivered:
        return true;
    case LocalOutcome::Failed:
        return false;
    case LocalOutcome::NotLocal:
        break;
    }
    return sendRemote(handle, std::move(frame), deadline, result);
}

} // namespace

bool postMessage(WindowHandle handle, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam)
{
    if (!isValidTarget(handle))
        return false;
    const WindowHandle sender = primarySender();
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        if (Endpoint::Impl* target = reg.find(handle)) {
            auto item = std::make_shared<Incoming>();
            item->message.msg = msg;
            item->message.wParam = wParam;
            item->message.lParam = lParam;
            item->message.sender = sender;
            target->enqueue(std::move(item));
            return true;
        }
    }
    wire::Frame frame;
    frame.kind = wire::FrameKind::Post;
    frame.sender = sender;
    frame.msg = msg;
    frame.wParam = wParam;
    frame.lParam = lParam;
    const std::vector<std::uint8_t> bytes = wire::encodeFrame(frame);
    // The second round covers a cached connection that the receiver no longer reads.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::shared_ptr<OutboundConnection> connection = outboundConnection(handle, attempt > 0);
        if (!connection)
            return false;
        std::lock_guard lock(connection->writeMutex);
        if (connection->broken)
            continue;
        if (detail::writeAll(connection->fd.get(), bytes.data(), bytes.size(),
                             Clock::now() + std::chrono::milliseconds(kPostTimeoutMs)))
            return true;
        // A frame may be half written: nothing more may follow it on this stream.
        connection->broken = true;
        dropOutboundConnection(handle, connection);
    }
    return false;
}

bool sendMessage(WindowHandle handle, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam, int timeoutMs,
                 std::int32_t* result)
{
    wire::Frame frame;
    frame.kind = wire::FrameKind::Send;
    frame.msg = msg;
    frame.wParam = wParam;
    frame.lParam = lParam;
    Message local;
    local.msg = msg;
    local.wParam = wParam;
    local.lParam = lParam;
    return sendAndWait(handle, std::move(frame), std::move(local), timeoutMs, result);
}

bool sendCopyData(WindowHandle handle, std::uint32_t dataType, std::span<const std::uint8_t> bytes, int timeoutMs,
                  std::int32_t* result)
{
    if (bytes.size() > wire::kMaxCopyDataBytes)
        return false;
    wire::Frame frame;
    frame.kind = wire::FrameKind::CopyData;
    frame.msg = kMsgCopyData;
    frame.wParam = dataType;
    frame.data.assign(bytes.begin(), bytes.end());
    Message local;
    local.msg = kMsgCopyData;
    local.copyDataType = dataType;
    local.copyData.assign(bytes.begin(), bytes.end());
    return sendAndWait(handle, std::move(frame), std::move(local), timeoutMs, result);
}

} // namespace vantry::platform
