#include "common/log_texts.h"

namespace vantry::common::logtext {

std::string fill(std::string_view pattern, std::string_view argument)
{
    std::string out(pattern);
    const std::size_t at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, argument);
    return out;
}

std::string cameraNumberList(const std::vector<int>& cameraIndexes)
{
    std::string out;
    for (const int index : cameraIndexes)
        out += " " + std::to_string(index + 1);
    return out;
}

} // namespace vantry::common::logtext
