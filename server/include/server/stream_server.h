#pragma once

#include "platform/messages.h"
#include "server/camera_reader.h"
#include "server/stream_protocol.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class QObject;
class QTimer;

namespace vantry::common {
class TextLog;
}

namespace vantry::server {

// How the server reaches the station. The program uses the platform's endpoints; tests put a
// station of their own in its place.
class StationPort {
public:
    virtual ~StationPort() = default;
    virtual platform::WindowHandle findStation() = 0;
    virtual bool post(platform::WindowHandle station, uint32_t msg, uint32_t wParam, int32_t lParam) = 0;
    // The copy-data report of a newly connected viewer ("address:port").
    virtual bool reportConnection(platform::WindowHandle station, std::string_view viewer) = 0;
};
std::unique_ptr<StationPort> makeEndpointStationPort();

// Messages the station sends the server (camera number in the high half of lParam).
namespace station_msg {
inline constexpr uint32_t kPtzCommand = 0x8018;       // to the station
inline constexpr uint32_t kWantsCamera = 0x801F;      // to the station
inline constexpr uint32_t kReleasesCamera = 0x8020;   // to the station
inline constexpr uint32_t kRegisters = 0x8021;        // to the station
inline constexpr uint32_t kChannelActive = 0x8029;
inline constexpr uint32_t kChannelInactive = 0x802A;
inline constexpr uint32_t kPort = 0x802B;
inline constexpr uint32_t kEnable = 0x802C;
inline constexpr uint32_t kFormat = 0x802F;
inline constexpr uint32_t kEventState = 0x8030;
inline constexpr uint32_t kConnectionLimit = 0x8031;
inline constexpr uint32_t kPassword = 0x8032;
inline constexpr uint32_t kServerWord = 0x8033;
inline constexpr uint32_t kCameraStatus = 0x8038;
inline constexpr uint32_t kStartListening = 0x8039;
inline constexpr uint32_t kStopListening = 0x803A;
inline constexpr uint32_t kCameraOffered = 0x803B;
inline constexpr uint32_t kSiteName = 0x803C;
inline constexpr uint32_t kCameraName = 0x803D;
} // namespace station_msg

// One row of the connection list.
struct ConnectionRow {
    uint64_t id = 0;
    std::string address;
    uint16_t port = 0;
    std::time_t connectedAt = 0;
    std::time_t statsStart = 0;
    std::time_t lastFrame = 0;
    uint64_t frames = 0;
    uint64_t bytes = 0;
    int camera = -1;
};

struct ServerLimits {
    static constexpr int kSlots = 64;
    // Bytes waiting for one viewer before it counts as not reading and is dropped.
    size_t outboxLimitBytes = 8u << 20;
    // A viewer whose socket takes nothing for this long is dropped (ten retries of 300 ms,
    // three times over, as a send that keeps failing would take).
    std::chrono::milliseconds stallLimit { 9000 };
};

// Pending event notice of a connection, and what the viewer was last told.
struct EventNotice {
    bool toldOn = false;
    uint32_t pendingCode = 0; // 0, MSG_EVENT_ON or MSG_EVENT_OFF
    uint32_t pendingTime = 0;
    void eventChanged(bool on, uint32_t now);
    void streamStarted(bool cameraInEvent, uint32_t now);
    // The pump sent the pending notice.
    void sent();
};

// The stream server without its window: the station link, listening, the viewer
// connections, their requests and their frame pumps. Lives on a QCoreApplication's thread;
// pumps run on their own threads and come back through queued calls.
class StreamServer {
public:
    StreamServer(StationPort& station, platform::WindowHandle self, common::TextLog* log = nullptr,
                 ServerLimits limits = {});
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    // Looks for the station and binds, or keeps looking once a second; later binds again
    // when the station is replaced.
    void start();
    // The closing steps: stop looking, stop listening, drop every viewer, close the readers.
    void close();

    // A message from the station (posted or sent); the result answers a sent one.
    int32_t stationMessage(uint32_t msg, uint32_t wParam, int32_t lParam);

    bool isBound() const { return bound_; }
    bool isEnabled() const { return enabled_; }
    bool isListening() const { return listenSocket_ >= 0; }
    uint16_t listeningPort() const;
    int connectionCount() const;
    std::vector<ConnectionRow> connectionRows() const;
    CameraReader* reader(int cameraIndex);
    // Called on the main thread whenever a connection comes, goes or changes camera.
    void setListChanged(std::function<void()> changed) { listChanged_ = std::move(changed); }

    struct Connection;

private:
    void bind();
    void watchStation();
    void dropIdleStrangers();
    void startListening();
    void stopListening();
    void acceptPending();
    void onReadable(uint64_t id);
    void onWritable(uint64_t id);
    void execute(Connection& c, const Request& request);
    // Explicit: CMD_SELECT_CAMERA (answered); Implied: camera 0 for CMD_ASK_PASSWORD (only
    // "unavailable" is told); Silent: camera 0 for CMD_PASSWORD (nothing is told).
    enum class Selection { Explicit, Implied, Silent };
    void selectCamera(Connection& c, int camera, Selection selection);
    bool allowed(const Connection& c, uint32_t code) const;
    bool reply(Connection& c, uint32_t code, std::span<const uint8_t> payload = {});
    void queueToCamera(int camera, uint32_t code, std::span<const uint8_t> payload);
    void startStream(Connection& c);
    void stopPump(Connection& c);
    void removeConnection(uint64_t id, const char* why = nullptr);
    void dropAll();
    void dropCamera(int camera);
    void eventChange(int camera, bool on);
    void pumpLoop(Connection* c);
    void postToStation(uint32_t msg, uint32_t wParam, int32_t lParam);
    void releaseCameraIfUnused(int camera);
    Connection* find(uint64_t id);
    void log(const std::string& text);
    void notifyListChanged();

    StationPort& station_;
    const platform::WindowHandle self_;
    common::TextLog* log_;
    const ServerLimits limits_;

    std::unique_ptr<QObject> context_;
    std::unique_ptr<QTimer> watchTimer_;
    std::function<void()> listChanged_;

    platform::WindowHandle stationWindow_ = platform::kNoWindow;
    bool bound_ = false;
    bool enabled_ = false;
    std::array<std::unique_ptr<CameraReader>, 4> readers_ {};
    std::string siteName_;
    uint32_t passwordCheck_ = 0;
    std::string password_;
    std::atomic<uint32_t> serverWord_ { 0 };
    uint32_t connectionLimit_ = 16;
    uint32_t port_ = kDefaultPort;
    std::array<uint32_t, 4> cameraStatus_ {};
    std::array<std::string, 4> cameraNames_ {};

    // Guards each camera's event flag and the event notices of that camera's connections.
    std::array<std::mutex, 4> cameraLocks_;
    std::array<bool, 4> cameraEvent_ {};

    int listenSocket_ = -1;
    struct ListenNotifier;
    std::unique_ptr<ListenNotifier> listenNotifier_;

    std::array<std::unique_ptr<Connection>, ServerLimits::kSlots> slots_ {};
    uint64_t nextId_ = 1;
    bool closed_ = false;
};

} // namespace vantry::server
