// Internals shared by the receiving side of the message endpoints and by the senders.
#pragma once

#include "platform/endpoint.h"
#include "platform/endpoint_frame.h"
#include "socket_io.h"

#include <QEvent>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vantry::platform {
namespace detail {

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

int deliveryEventType();

class DeliveryEvent : public QEvent {
public:
    explicit DeliveryEvent(std::shared_ptr<Incoming> item)
        : QEvent(static_cast<QEvent::Type>(deliveryEventType())), item_(std::move(item))
    {
    }
    std::shared_ptr<Incoming> item_;
};

// Whether the caller runs on the QCoreApplication's thread.
bool isMainThread();

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

SentQueue& sentQueue();

} // namespace detail

class Endpoint::Impl {
public:
    class Receiver : public QObject {
    public:
        explicit Receiver(Impl& owner) : owner_(owner) {}
        bool event(QEvent* event) override
        {
            if (event->type() == detail::deliveryEventType()) {
                owner_.deliver(static_cast<detail::DeliveryEvent*>(event)->item_);
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
    void enqueue(std::shared_ptr<detail::Incoming> item);
    // Main thread: runs the handler unless another path already took the message.
    void deliver(const std::shared_ptr<detail::Incoming>& item);
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
    detail::UniqueFd listenFd;
    detail::UniqueFd wakeFd;
    std::thread reader;
    std::atomic<bool> stopping{false};
    std::atomic<int> queuedPosted{0};
    std::unique_ptr<Receiver> receiver;
    mutable std::mutex titleMutex;

private:
    struct Connection {
        std::shared_ptr<detail::InboundSocket> socket;
        wire::FrameAssembler assembler;
    };
    void acceptConnections(std::vector<std::unique_ptr<Connection>>& connections);
    bool serviceConnection(Connection& connection, std::vector<std::uint8_t>& buffer);
    bool acceptFrame(wire::Frame&& frame, const std::shared_ptr<detail::InboundSocket>& socket);
};

namespace detail {

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

Registry& registry();
WindowHandle primarySender();
// Serves messages sent to this program while its main thread waits for an answer itself.
void serveWaitingSentMessages();
std::uint32_t nextSequence();

} // namespace detail
} // namespace vantry::platform
