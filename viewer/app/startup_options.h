// The viewer's command line: "--connect HOST:PORT[/CAMERA]" connects at start without the
// dialog (camera 1 to 4, default 1) and "--record" switches recording on. Neither changes a
// setting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantry::viewer_app {

struct StartupOptions {
    std::optional<std::string> host;
    uint16_t port = 0;
    int camera = 0; // 0..3
    bool record = false;
};

// nullopt with the reason in *error for arguments it does not understand.
std::optional<StartupOptions> parseStartupOptions(const std::vector<std::string>& arguments, std::string* error);

} // namespace vantry::viewer_app
