// The computer's network name, the default site name of a station.
#pragma once

#include <string>

namespace vantry::common {

// The host name as the system reports it (gethostname), or "localhost" when it cannot tell.
std::string computerName();

} // namespace vantry::common
