#include "startup_options.h"

#include <charconv>

namespace vantry::viewer_app {

namespace {

bool parseNumber(const std::string& text, unsigned& value)
{
    const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
    return code == std::errc() && end == text.data() + text.size();
}

} // namespace

std::optional<StartupOptions> parseStartupOptions(const std::vector<std::string>& arguments, std::string* error)
{
    StartupOptions options;
    auto fail = [&](const std::string& text) -> std::optional<StartupOptions> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--record") {
            options.record = true;
        } else if (argument == "--connect" || argument.rfind("--connect=", 0) == 0) {
            std::string target;
            if (argument == "--connect") {
                if (i + 1 >= arguments.size())
                    return fail("--connect needs HOST:PORT[/CAMERA]");
                target = arguments[++i];
            } else {
                target = argument.substr(10);
            }
            unsigned camera = 1;
            const size_t slash = target.find('/');
            if (slash != std::string::npos) {
                if (!parseNumber(target.substr(slash + 1), camera) || camera < 1 || camera > 4)
                    return fail("the camera must be 1 to 4: " + target);
                target.resize(slash);
            }
            const size_t colon = target.rfind(':');
            unsigned port = 0;
            if (colon == std::string::npos || colon == 0 || !parseNumber(target.substr(colon + 1), port) || port == 0 ||
                port > 65535)
                return fail("--connect needs HOST:PORT[/CAMERA], not " + target);
            options.host = target.substr(0, colon);
            options.port = static_cast<uint16_t>(port);
            options.camera = static_cast<int>(camera) - 1;
        } else {
            return fail("unknown argument " + argument);
        }
    }
    return options;
}

} // namespace vantry::viewer_app
