#pragma once

#include <cstdint>

namespace vantry::station {

// Wall-clock seconds since 1970-01-01 UTC, the unit of frame stamps and motion times.
// Injected so that tests can drive time by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t nowSeconds() const = 0;
};

class SystemClock final : public Clock {
public:
    int64_t nowSeconds() const override;
    static const SystemClock& instance();
};

} // namespace vantry::station
