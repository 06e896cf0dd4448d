// Settings files are edited by hand and survive crashes: any bytes must parse, read as the
// station reads them, and write back without losing or inventing keys.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/mask_data.h"
#include "common/settings_schema.h"
#include "platform/ini_profile.h"

using namespace vantry;

namespace {

// Stops the run on a broken promise, naming it.
void require(bool condition, const char* promise)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", promise);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::IniDocument doc;
    doc.parse(text);

    common::SettingsContext context;
    context.dataFolder = "/data";
    context.computerName = "host";
    context.nowSeconds = [] { return 1700000000u; };
    common::StationSettings station;
    common::readSettings(doc, station, 0, context);
    for (int camera = 1; camera <= 16; ++camera) {
        common::ChannelSettings channel;
        common::readSettings(doc, channel, camera, context);
        common::CaptureSettings capture;
        common::readSettings(doc, capture, camera, context);
        require(capture.frameRate >= 1 && capture.frameRate <= 30, "frame rate within 1..30");
        require(capture.videoQuality >= 1 && capture.videoQuality <= 100, "quality within 1..100");
        require(!channel.cameraName.empty() && channel.cameraName.size() <= platform::kProfileStringMax,
                "camera name present and short");
    }
    require(station.connectionLimit >= 1 && station.connectionLimit <= 16, "connection limit within 1..16");
    (void)common::unmaskPassword(text.substr(0, 4096));

    // Written back and read again, every value read before reads the same.
    common::writeSettings(doc, station, 0, context);
    platform::IniDocument again;
    again.parse(doc.serialize());
    common::StationSettings reread;
    common::readSettings(again, reread, 0, context);
    require(reread.siteName == station.siteName && reread.videoServerPassword == station.videoServerPassword &&
                reread.smtpPassword == station.smtpPassword && reread.connectionLimit == station.connectionLimit,
            "station values survive a save");
    if (reread.loginPassword != station.loginPassword.substr(0, std::min<size_t>(station.loginPassword.size(), 16)) &&
        station.loginPassword.find('\0') == std::string::npos) {
        // Only a password ending in blanks may differ: they are padding.
        std::string trimmed = station.loginPassword.substr(0, 16);
        while (!trimmed.empty() && trimmed.back() == ' ')
            trimmed.pop_back();
        require(reread.loginPassword == trimmed, "login password survives a save");
    }
    for (const std::string& section : doc.sectionNames())
        for (const std::string& key : doc.keyNames(section))
            require(doc.readString(section, key, "") == again.readString(section, key, "<lost>"), "keys survive a save");
    return 0;
}
