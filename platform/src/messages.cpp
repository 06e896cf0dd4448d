#include "platform/messages.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace vantry::platform {

std::uint32_t registerWindowMessage(std::string_view name)
{
    constexpr std::uint32_t kFirst = 0xC000;
    constexpr std::uint32_t kLast = 0xFFFF;
    if (name.empty())
        return 0;
    static std::mutex mutex;
    static std::unordered_map<std::string, std::uint32_t> numbers;
    std::lock_guard lock(mutex);
    const auto found = numbers.find(std::string(name));
    if (found != numbers.end())
        return found->second;
    const std::uint32_t number = kFirst + static_cast<std::uint32_t>(numbers.size());
    if (number > kLast)
        return 0;
    numbers.emplace(std::string(name), number);
    return number;
}

} // namespace vantry::platform
