#include "platform/endpoint.h"

#include "platform/endpoint_frame.h"
#include "platform/folders.h"
#include "socket_io.h"
#include "window_directory.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <random>
#include <stdio.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace vantry::platform {

using detail::Clock;
using detail::UniqueFd;

namespace {

// Like the system queue these stand for: beyond this many undelivered posted messages the
// reader stops reading, the senders' socket buffers fill and posting fails after its wait.
constexpr int kMaxQueuedMessages = 10000;
constexpr std::size_t kMaxConnections = 256;
constexpr int kReplyWriteTimeoutMs = 1000;

// A connection accepted by an endpoint; shared with the sent messages that still owe it a
// reply.
struct InboundSocket {
    UniqueFd fd;
    std::mutex writeMutex;
};

// One message on its way to a handler.
struct Incoming {
    Message message;
    WindowHandle target = kNoWindow;
    std::atomic<bool> taken{false};
    // Sent messages only: called once with the handler's result, or with handled = false
    // when the target went away first.
    std::function<void(std::int32_t result, bool handled)> complete;
};

int deliveryEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

class DeliveryEvent : public QEvent {
public:
    explicit DeliveryEvent(std::shared_ptr<Incoming> item)
        : QEvent(static_cast<QEvent::Type>(deliveryEventType())), item_(std::move(item))
    {
    }
    std::shared_ptr<Incoming> item_;
};

bool isMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Sent messages waiting for a main thread. Besides its queued event, each one is listed
// here so that a main thread blocked in sendMessage can serve it (whichever comes first
// takes it).
class SentQueue {
public:
    SentQueue() : signal_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    int signalFd() const { return signal_.get(); }

    void push(std::shared_ptr<Incoming> item)
    {
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(item));
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(signal_.get(), &one, sizeof one);
    }

    void remove(const Incoming* item)
    {
        std::lock_guard lock(mutex_);
        items_.erase(std::remove_if(items_.begin(), items_.end(), [item](const auto& entry) { return entry.get() == item; }),
                     items_.end());
    }

    std::shared_ptr<Incoming> pop()
    {
        std::lock_guard lock(mutex_);
        if (items_.empty())
            return nullptr;
        auto item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

    std::vector<std::shared_ptr<Incoming>> takeFor(WindowHandle target)
    {
        std::vector<std::shared_ptr<Incoming>> taken;
        std::lock_guard lock(mutex_);
        for (auto it = items_.begin(); it != items_.end();) {
            if ((*it)->target == target) {
                taken.push_back(std::move(*it));
                it = items_.erase(it);
            } else {
                ++it;
            }
        }
        return taken;
    }

    void clearSignal()
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(signal_.get(), &count, sizeof count);
    }

private:
    std::mutex mutex_;
    std::deque<std::shared_ptr<Incoming>> items_;
    UniqueFd signal_;
};

SentQueue& sentQueue()
{
    static SentQueue queue;
    return queue;
}

WindowHandle randomHandle()
{
    static std::mutex mutex;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard lock(mutex);
    std::uniform_int_distribution<WindowHandle> distribution(1, wire::kMaxHandle);
    return distribution(generator);
}

std::string hexHandle(WindowHandle handle)
{
    char text[9] = {};
    std::snprintf(text, sizeof text, "%08x", handle);
    return text;
}

bool createMarker(const std::string& path)
{
    UniqueFd fd(::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600));
    return fd.valid();
}

std::atomic<std::uint32_t> nextSequence{1};

} // namespace

class Endpoint::Impl {
public:
    class Receiver : public QObject {
    public:
        explicit Receiver(Impl& owner) : owner_(owner) {}
        bool event(QEvent* event) override
        {
            if (event->type() == deliveryEventType()) {
                owner_.deliver(static_cast<DeliveryEvent*>(event)->item_);
                return true;
            }
            return QObject::event(event);
        }

    private:
        Impl& owner_;
    };

    ~Impl();

    // Called with the registry lock held (or from the reader thread, which is joined before
    // the receiver goes away).
    void enqueue(std::shared_ptr<Incoming> item);
    // Main thread: runs the handler unless another path already took the message.
    void deliver(const std::shared_ptr<Incoming>& item);
    std::int32_t callHandler(const Message& message);

    void readerLoop();

    std::string folder;
    std::string className;
    std::string title;
    std::string classMarker;
    std::string titleMarker;
    std::string socketFile;
    WindowHandle handle = kNoWindow;
    Handler handler;
    UniqueFd listenFd;
    UniqueFd wakeFd;
    std::thread reader;
    std::atomic<bool> stopping{false};
    std::atomic<int> queuedPosted{0};
    std::unique_ptr<Receiver> receiver;
    mutable std::mutex titleMutex;

private:
    struct Connection {
        std::shared_ptr<InboundSocket> socket;
        wire::FrameAssembler assembler;
    };
    void acceptConnections(std::vector<std::unique_ptr<Connection>>& connections);
    bool serviceConnection(Connection& connection, std::vector<std::uint8_t>& buffer);
    bool acceptFrame(wire::Frame&& frame, const std::shared_ptr<InboundSocket>& socket);
};

namespace {

// The endpoints of this program, in creation order; the first one is the sender named in
// outgoing messages.
struct Registry {
    std::mutex mutex;
    std::vector<Endpoint::Impl*> endpoints;

    Endpoint::Impl* find(WindowHandle handle) const
    {
        for (Endpoint::Impl* endpoint : endpoints) {
            if (endpoint->handle == handle)
                return endpoint;
        }
        return nullptr;
    }
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

WindowHandle primarySender()
{
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    return reg.endpoints.empty() ? kNoWindow : reg.endpoints.front()->handle;
}

// Serves messages sent to this program while its main thread waits for an answer itself.
void serveWaitingSentMessages()
{
    SentQueue& queue = sentQueue();
    queue.clearSignal();
    while (std::shared_ptr<Incoming> item = queue.pop()) {
        Endpoint::Impl* target = nullptr;
        {
            Registry& reg = registry();
            std::lock_guard lock(reg.mutex);
            target = reg.find(item->target);
        }
        if (target != nullptr)
            target->deliver(item);
        else if (!item->taken.exchange(true) && item->complete)
            item->complete(0, false);
    }
}

} // namespace

void Endpoint::Impl::enqueue(std::shared_ptr<Incoming> item)
{
    item->target = handle;
    if (item->message.delivery == Delivery::Sent)
        sentQueue().push(item);
    else
        queuedPosted.fetch_add(1);
    QCoreApplication::postEvent(receiver.get(), new DeliveryEvent(std::move(item)));
}

std::int32_t Endpoint::Impl::callHandler(const Message& message)
{
    if (!handler)
        return 0;
    try {
        return handler(message);
    } catch (...) {
        return 0;
    }
}

void Endpoint::Impl::deliver(const std::shared_ptr<Incoming>& item)
{
    if (item->taken.exchange(true))
        return;
    if (item->message.delivery == Delivery::Sent)
        sentQueue().remove(item.get());
    else
        queuedPosted.fetch_sub(1);
    const std::int32_t result = callHandler(item->message);
    if (item->complete)
        item->complete(result, true);
}

bool Endpoint::Impl::acceptFrame(wire::Frame&& frame, const std::shared_ptr<InboundSocket>& socket)
{
    auto item = std::make_shared<Incoming>();
    Message& message = item->message;
    message.sender = frame.sender;
    switch (frame.kind) {
    case wire::FrameKind::Post:
        message.msg = frame.msg;
        message.wParam = frame.wParam;
        message.lParam = frame.lParam;
        message.delivery = Delivery::Posted;
        break;
    case wire::FrameKind::Send:
        message.msg = frame.msg;
        message.wParam = frame.wParam;
        message.lParam = frame.lParam;
        message.delivery = Delivery::Sent;
        break;
    case wire::FrameKind::CopyData:
        message.msg = kMsgCopyData;
        message.wParam = frame.sender;
        message.lParam = 0;
        message.copyDataType = frame.wParam;
        message.copyData = std::move(frame.data);
        message.delivery = Delivery::Sent;
        break;
    case wire::FrameKind::Reply:
        return false; // only senders read replies
    }
    if (message.delivery == Delivery::Sent) {
        const std::uint32_t sequence = frame.sequence;
        const WindowHandle self = handle;
        item->complete = [socket, sequence, self](std::int32_t result, bool handled) {
            std::lock_guard lock(socket->writeMutex);
            if (!handled) {
                // Let the sender fail at once instead of waiting out its timeout.
                ::shutdown(socket->fd.get(), SHUT_RDWR);
                return;
            }
            wire::Frame reply;
            reply.kind = wire::FrameKind::Reply;
            reply.sequence = sequence;
            reply.sender = self;
            reply.lParam = result;
            const std::vector<std::uint8_t> bytes = wire::encodeFrame(reply);
            detail::writeAll(socket->fd.get(), bytes.data(), bytes.size(),
                             Clock::now() + std::chrono::milliseconds(kReplyWriteTimeoutMs));
        };
    }
    enqueue(std::move(item));
    return true;
}

bool Endpoint::Impl::serviceConnection(Connection& connection, std::vector<std::uint8_t>& buffer)
{
    // A bounded number of reads per round keeps one busy sender from starving the others.
    for (int round = 0; round < 16; ++round) {
        const ssize_t count = ::recv(connection.socket->fd.get(), buffer.data(), buffer.size(), 0);
        if (count == 0)
            return false;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        try {
            connection.assembler.append(buffer.data(), static_cast<std::size_t>(count));
            wire::Frame frame;
            for (;;) {
                const wire::DecodeStatus status = connection.assembler.next(frame);
                if (status == wire::DecodeStatus::NeedMore)
                    break;
                if (status == wire::DecodeStatus::Invalid)
                    return false;
                if (!acceptFrame(std::move(frame), connection.socket))
                    return false;
                frame = wire::Frame();
            }
        } catch (...) {
            return false;
        }
    }
    return true;
}

void Endpoint::Impl::acceptConnections(std::vector<std::unique_ptr<Connection>>& connections)
{
    for (;;) {
        const int accepted = ::accept4(listenFd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                std::this_thread::sleep_for(std::chrono::milliseconds(50)); // do not spin
            return;
        }
        UniqueFd fd(accepted);
        // The folder is private already; refusing other users here costs nothing.
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.uid != ::getuid())
            continue;
        if (connections.size() >= kMaxConnections)
            continue;
        auto connection = std::make_unique<Connection>();
        connection->socket = std::make_shared<InboundSocket>();
        connection->socket->fd = std::move(fd);
        connections.push_back(std::move(connection));
    }
}

void Endpoint::Impl::readerLoop()
{
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<pollfd> fds;
    std::vector<std::uint8_t> buffer(65536);
    while (!stopping.load()) {
        const bool throttled = queuedPosted.load() >= kMaxQueuedMessages;
        fds.clear();
        fds.push_back({wakeFd.get(), POLLIN, 0});
        fds.push_back({listenFd.get(), POLLIN, 0});
        if (!throttled) {
            for (const auto& connection : connections)
                fds.push_back({connection->socket->fd.get(), POLLIN, 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), throttled ? 20 : -1);
        if (ready < 0) {
            if (errno != EINTR)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (fds[0].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t ignored = ::read(wakeFd.get(), &count, sizeof count);
        }
        if (stopping.load())
            break;
        if (!throttled) {
            // Back to front so that erasing keeps the remaining indexes valid.
            for (std::size_t i = connections.size(); i-- > 0;) {
                if (fds[i + 2].revents == 0)
                    continue;
                if (!serviceConnection(*connections[i], buffer))
                    connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (fds[1].revents != 0)
            acceptConnections(connections);
    }
}

Endpoint::Impl::~Impl()
{
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        stopping.store(true);
        reg.endpoints.erase(std::remove(reg.endpoints.begin(), reg.endpoints.end(), this), reg.endpoints.end());
    }
    if (!classMarker.empty())
        ::unlink(classMarker.c_str());
    {
        std::lock_guard lock(titleMutex);
        if (!titleMarker.empty())
            ::unlink(titleMarker.c_str());
    }
    if (reader.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFd.get(), &one, sizeof one);
        reader.join();
    }
    listenFd.reset();
    if (!socketFile.empty())
        ::unlink(socketFile.c_str());
    for (const auto& item : sentQueue().takeFor(handle)) {
        if (!item->taken.exchange(true) && item->complete)
            item->complete(0, false);
    }
    receiver.reset(); // drops the deliveries still queued for it
}

Endpoint::Endpoint(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Endpoint::~Endpoint() = default;

std::unique_ptr<Endpoint> Endpoint::create(std::string_view className, std::string_view title, Handler handler,
                                           std::string* error)
{
    auto fail = [error](const std::string& reason) -> std::unique_ptr<Endpoint> {
        if (error != nullptr)
            *error = reason;
        return nullptr;
    };
    if (!isMainThread())
        return fail("message endpoint needs a QCoreApplication and must be created on its thread");
    if (!detail::isValidClassName(className))
        return fail("invalid window class name");
    const std::string folder = runtimeFolder();
    if (folder.empty())
        return fail("no private runtime folder");
    detail::sweepStale(folder);

    auto impl = std::make_unique<Impl>();
    impl->folder = folder;
    impl->className = std::string(className);
    impl->handler = std::move(handler);
    for (int attempt = 0; attempt < 32 && impl->handle == kNoWindow; ++attempt) {
        const WindowHandle candidate = randomHandle();
        const std::string finalPath = detail::socketPath(folder, candidate);
        const std::string temporaryPath = folder + "/tmp-ep-" + hexHandle(candidate);
        if (!detail::fitsSocketAddress(temporaryPath))
            return fail("runtime folder path too long for a socket: " + folder);
        struct stat existing {};
        if (::lstat(finalPath.c_str(), &existing) == 0)
            continue;
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd.valid())
            return fail(std::string("socket: ") + std::strerror(errno));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, temporaryPath.c_str(), temporaryPath.size() + 1);
        ::unlink(temporaryPath.c_str());
        if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return fail(std::string("bind: ") + std::strerror(errno));
        if (::listen(fd.get(), 64) != 0) {
            const int listenError = errno;
            ::unlink(temporaryPath.c_str());
            return fail(std::string("listen: ") + std::strerror(listenError));
        }
        // Published under its final name only once it listens, so that a socket without a
        // listener always means a program that died.
        if (::renameat2(AT_FDCWD, temporaryPath.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) != 0) {
            const int renameError = errno;
            ::unlink(temporaryPath.c_str());
            if (renameError == EEXIST)
                continue;
            return fail(std::string("rename: ") + std::strerror(renameError));
        }
        impl->handle = candidate;
        impl->socketFile = finalPath;
        impl->listenFd = std::move(fd);
    }
    if (impl->handle == kNoWindow)
        return fail("no free endpoint id");
    impl->wakeFd.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!impl->wakeFd.valid())
        return fail(std::string("eventfd: ") + std::strerror(errno));
    impl->receiver = std::make_unique<Impl::Receiver>(*impl);

    impl->classMarker = detail::classMarkerPath(folder, className, impl->handle);
    if (!createMarker(impl->classMarker)) {
        const std::string reason = std::string("class marker: ") + std::strerror(errno);
        impl->classMarker.clear();
        return fail(reason);
    }
    impl->title = std::string(title);
    impl->titleMarker = detail::titleMarkerPath(folder, title, impl->handle);
    if (!impl->titleMarker.empty() && !createMarker(impl->titleMarker)) {
        const std::string reason = std::string("title marker: ") + std::strerror(errno);
        impl->titleMarker.clear();
        return fail(reason);
    }
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        reg.endpoints.push_back(impl.get());
    }
    Impl* raw = impl.get();
    impl->reader = std::thread([raw] { raw->readerLoop(); });
    return std::unique_ptr<Endpoint>(new Endpoint(std::move(impl)));
}

WindowHandle Endpoint::handle() const
{
    return impl_->handle;
}

std::string Endpoint::className() const
{
    return impl_->className;
}

std::string Endpoint::title() const
{
    std::lock_guard lock(impl_->titleMutex);
    return impl_->title;
}

bool Endpoint::setTitle(std::string_view title)
{
    std::lock_guard lock(impl_->titleMutex);
    if (!impl_->titleMarker.empty())
        ::unlink(impl_->titleMarker.c_str());
    impl_->title = std::string(title);
    impl_->titleMarker = detail::titleMarkerPath(impl_->folder, title, impl_->handle);
    if (impl_->titleMarker.empty())
        return title.empty();
    if (!createMarker(impl_->titleMarker)) {
        impl_->titleMarker.clear();
        return false;
    }
    return true;
}

bool Endpoint::postLocal(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam)
{
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    if (impl_->stopping.load())
        return false;
    auto item = std::make_shared<Incoming>();
    item->message.msg = msg;
    item->message.wParam = wParam;
    item->message.lParam = lParam;
    item->message.sender = impl_->handle;
    item->message.delivery = Delivery::Posted;
    impl_->enqueue(std::move(item));
    return true;
}

// ---------------------------------------------------------------------------------------
// Finding and messaging endpoints

WindowHandle findWindow(std::string_view className)
{
    if (!detail::isValidClassName(className))
        return kNoWindow;
    return detail::findByMarker(runtimeFolder(), detail::classMarkerPrefix(className));
}

WindowHandle findWindowByTitle(std::string_view title)
{
    if (title.empty() || title.size() > detail::kMaxTitleBytes)
        return kNoWindow;
    return detail::findByMarker(runtimeFolder(), detail::titleMarkerPrefix(title));
}

bool isWindow(WindowHandle handle)
{
    if (handle == kNoWindow || handle > wire::kMaxHandle)
        return false;
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        if (reg.find(handle) != nullptr)
            return true;
    }
    return detail::probe(runtimeFolder(), handle) == detail::Liveness::Alive;
}

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
    frame.sequence = nextSequence.fetch_add(1);
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
