#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vantry::station::detail {

// Tells when the system clock is set (by hand, NTP stepping it, a time zone tool): a
// real-time timer far in the future that the kernel cancels on every clock change.
class ClockWatch {
public:
    explicit ClockWatch(std::function<void()> onClockSet);
    ~ClockWatch();
    ClockWatch(const ClockWatch&) = delete;
    ClockWatch& operator=(const ClockWatch&) = delete;

    bool isWatching() const { return notifier_ != nullptr; }

private:
    bool arm();

    std::function<void()> onClockSet_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace vantry::station::detail
