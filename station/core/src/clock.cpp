#include "station/core/clock.h"

#include <chrono>

namespace vantry::station {

int64_t SystemClock::nowSeconds() const
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

const SystemClock& SystemClock::instance()
{
    static const SystemClock clock;
    return clock;
}

} // namespace vantry::station
