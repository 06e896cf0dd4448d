#include "clock_watch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace vantry::station::detail {

ClockWatch::ClockWatch(std::function<void()> onClockSet)
    : onClockSet_(std::move(onClockSet))
{
    fd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0)
        return;
    if (!arm()) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        uint64_t expirations = 0;
        const ssize_t got = ::read(fd_, &expirations, sizeof expirations);
        const bool clockSet = got < 0 && errno == ECANCELED;
        // Cancelled (or, in some distant year, expired): watch again either way.
        arm();
        if (clockSet && onClockSet_)
            onClockSet_();
    });
}

ClockWatch::~ClockWatch()
{
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

bool ClockWatch::arm()
{
    itimerspec spec {};
    spec.it_value.tv_sec = static_cast<time_t>(::time(nullptr)) + 10L * 365 * 24 * 3600;
    return ::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) == 0;
}

} // namespace vantry::station::detail
