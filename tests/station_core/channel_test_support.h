#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>

namespace vantry::station {

// One Qt application for the channel tests: queued deliveries need its event loop.
QCoreApplication& app();
// Runs the event loop until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

} // namespace vantry::station
