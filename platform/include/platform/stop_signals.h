#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vantry::platform {

// SIGINT and SIGTERM as an event of the Qt loop: the handler only writes a byte into a pipe,
// and `onStop` runs on the main thread when the loop reads it.
class StopSignals {
public:
    explicit StopSignals(std::function<void(int signalNumber)> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool isInstalled() const { return notifier_ != nullptr; }

private:
    std::function<void(int)> onStop_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace vantry::platform
