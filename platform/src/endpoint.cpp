#include "platform/endpoint.h"

#include "endpoint_internal.h"
#include "platform/folders.h"
#include "window_directory.h"

#include <QCoreApplication>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <stdio.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace vantry::platform {

using namespace detail;

namespace {

// Like the system queue these stand for: beyond this many undelivered posted messages the
// reader stops reading, the senders' socket buffers fill and posting fails after its wait.
constexpr int kMaxQueuedMessages = 10000;
constexpr std::size_t kMaxConnections = 256;
constexpr int kReplyWriteTimeoutMs = 1000;

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

} // namespace

namespace detail {

int deliveryEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

bool isMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

SentQueue& sentQueue()
{
    static SentQueue queue;
    return queue;
}

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


} // namespace detail

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

} // namespace vantry::platform
