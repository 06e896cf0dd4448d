#include "common/link_packet.h"
#include "platform/endpoint.h"
#include "server/stream_server.h"

namespace vantry::server {

namespace {

constexpr const char* kStationClass = "VYWatch";
constexpr uint32_t kConnectionReportKind = 1;
// The station handles the report at once; a station that hangs must not hold the server.
constexpr int kReportTimeoutMs = 1000;

class EndpointStationPort final : public StationPort {
public:
    platform::WindowHandle findStation() override { return platform::findWindow(kStationClass); }
    bool post(platform::WindowHandle station, uint32_t msg, uint32_t wParam, int32_t lParam) override
    {
        return platform::postMessage(station, msg, wParam, lParam);
    }
    bool reportConnection(platform::WindowHandle station, std::string_view viewer) override
    {
        const std::vector<uint8_t> packet = common::buildConnectionReport(viewer);
        return platform::sendCopyData(station, kConnectionReportKind, packet, kReportTimeoutMs);
    }
};

} // namespace

std::unique_ptr<StationPort> makeEndpointStationPort() { return std::make_unique<EndpointStationPort>(); }

} // namespace vantry::server
