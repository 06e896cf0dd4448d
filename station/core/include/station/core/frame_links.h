#pragma once

#include "common/frame_channel.h"
#include "platform/messages.h"
#include "station/core/frame_link_control.h"
#include "station/core/frame_store.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

namespace vantry::station {

class StationHub;

// The station's side of the frame channel to the stream server: one shared-memory record per
// camera for pictures and mailbox blocks, the server's messages, and the settings the server
// gets. Lives on the hub's thread; every write and message happens there, so a mailbox write
// and its sent message never interleave with a picture.
class FrameLinks final : public FrameLinkControl {
public:
    static constexpr int kPictureTimerMs = 60;
    // Bit 16: the server answers camera status requests. The low half is ours: 1 = a Linux
    // station.
    static constexpr uint32_t kServerWord = 0x10001;
    // How often the station looks whether its stream server still runs, and how long it waits
    // between two starts of a server that keeps ending.
    static constexpr int kServerWatchMs = 3000;
    static constexpr int kServerRestartSpacingMs = 60000;

    explicit FrameLinks(StationHub& hub);
    ~FrameLinks() override;
    FrameLinks(const FrameLinks&) = delete;
    FrameLinks& operator=(const FrameLinks&) = delete;

    // FrameLinkControl
    void serverMessage(int cameraIndex, uint32_t msg, uint32_t wParam, int32_t lParam) override;
    void frameFormat(int cameraIndex, const FrameFormat& format) override;
    void eventState(int cameraIndex, bool inEvent) override;
    void servingChanged(bool serving) override;

    enum class Formats { Include, Leave };
    enum class Occasion { Registration, SettingsChanged, RemoteCommand };
    // The settings sequence for the server. Nothing happens while no server is known.
    void sendSettings(Formats formats, Occasion occasion);
    // The remote command that stops serving: disable, then "start" (which now stops).
    void stopServingRemotely();

    // The PTZ capability mask a camera reports (0 when none); the PTZ service sets it.
    void setPtzCapability(std::function<uint32_t(int cameraIndex)> capability) { ptzCapability_ = std::move(capability); }
    // Remote PTZ commands of viewers (message 32792); the PTZ service takes them.
    void setPtzHandler(std::function<void(int cameraIndex, uint16_t command)> handler) { ptzHandler_ = std::move(handler); }

    platform::WindowHandle serverWindow() const { return server_; }
    bool isStreaming(int cameraIndex) const;
    // One picture tick of a camera (the timer calls it); public for tests.
    void pictureTick(int cameraIndex);
    const common::FrameChannelWriter& writer(int cameraIndex) const { return *links_[cameraIndex].writer; }
    // Pictures written to a camera's record since start (diagnostics and tests).
    uint64_t picturesWritten(int cameraIndex) const { return links_[cameraIndex].written; }

private:
    struct Link {
        std::unique_ptr<common::FrameChannelWriter> writer;
        std::unique_ptr<QTimer> timer;
        bool streaming = false;
        bool hasFormat = false;
        FrameFormat format;
        std::vector<uint8_t> picture;
        FrameStamp lastWritten;
        uint64_t written = 0;
    };

    void watchServer();
    void startStreaming(int cameraIndex);
    void stopStreaming(int cameraIndex);
    bool writeMailbox(int cameraIndex, const std::vector<uint8_t>& block);
    bool writeFormat(int cameraIndex);
    void post(uint32_t msg, uint32_t wParam, int cameraIndex);
    void send(uint32_t msg, uint32_t wParam, int cameraIndex);
    bool isOffered(int cameraIndex) const;
    FrameStore* store(int cameraIndex) const;

    StationHub& hub_;
    std::array<Link, 4> links_;
    platform::WindowHandle server_ = platform::kNoWindow;
    std::unique_ptr<QTimer> serverWatch_;
    std::chrono::steady_clock::time_point lastRestart_ {};
    bool restartWanted_ = false;
    std::function<uint32_t(int)> ptzCapability_;
    std::function<void(int, uint16_t)> ptzHandler_;
};

// The format block of a frame format: its bitmap header and the subtype identifier the server
// knows it by. Empty for a format with no such identifier.
std::vector<uint8_t> formatBlockOf(const FrameFormat& format);

} // namespace vantry::station
