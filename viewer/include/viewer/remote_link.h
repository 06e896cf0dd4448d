// The viewer's link to one stream server: connecting with a timeout, the viewer's side of the
// stream protocol on a receive thread, requests written by the send queue's thread, decoding
// of the received pictures into the picture buffer, and the recording hooks.
//
// The link never touches the user interface. Everything the window must learn arrives as a
// LinkEvent through the observer, called on the link's threads; the observer hands it to the
// main thread. Questions for the user (password, retry) are asked the same way and answered
// with answerPassword()/answerRetry(), so no worker thread ever waits for a dialog.
#pragma once

#include "codec/decoder.h"
#include "server/stream_protocol.h"
#include "viewer/connection_log.h"
#include "viewer/send_queue.h"
#include "viewer/viewer_recorder.h"
#include "viewer/viewer_texts.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantry::viewer {

// Status panel icons and their states.
enum StatusIcon : int { kIconVideo = 0, kIconAudio = 1, kIconRecord = 2, kIconEvent = 3, kIconData = 4 };
inline constexpr int kVideoOff = 0, kVideoOn = 1, kVideoPtz = 2;

enum class LinkNotice {
    StatusIcon,        // a = icon, b = state
    DataArrived,       // a frame or an idle tick came in
    ShowMessage,       // a = ViewerText
    RestoreVideoSize,  // a new stream format: fit the window to the picture
    EndRequested,      // the link must be disconnected (bad server, user cancelled, ...)
    ServerClosed,      // the server closed the connection: disconnect and reconnect later
    PasswordNeeded,    // ask the user for the password, answer with answerPassword()
    PasswordIncorrect, // ask whether to try again, answer with answerRetry()
    TitleChanged,      // the site or camera name changed
    StreamStarted,     // the stream was requested: mark the camera button, PTZ buttons
    PictureReady,      // a new picture is in the picture buffer
    RecordingRefused,  // not enough free space: the Record button went off
};

struct LinkEvent {
    LinkNotice notice = LinkNotice::DataArrived;
    int a = 0;
    int b = 0;
    // The connection the notice belongs to: a notice that reaches the main thread after its
    // connection was replaced (camera switch, reconnection) must not act on the new one.
    uint32_t connection = 0;
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr; // top-down rows of width * 3 bytes, blue first
    uint32_t time = 0;
};

class RemoteLink {
public:
    using Observer = std::function<void(const LinkEvent&)>;

    static constexpr int kReceivePollMs = 100;

    RemoteLink();
    ~RemoteLink();
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    void setObserver(Observer observer);
    void setLog(ConnectionLog* log);
    ViewerRecorder& recorder() { return recorder_; }

    // 1 when connected (the receive and send threads run), 0 on failure (logged as the
    // connection log says). Fails at once while connected or for a camera outside 0..3.
    int connect(const std::string& host, uint16_t port, int camera, int timeoutSeconds);
    // Closes the recording, stops both threads, closes the socket and the decoder.
    void disconnect();
    bool connected() const;
    // Counts connections: each successful connect() gets the next number.
    uint32_t connectionSerial() const { return serial_; }

    // Requests; false when the send queue refused (not connected or full).
    bool sendRequest(uint32_t code, const std::vector<uint8_t>& payload = {});
    bool sendPtz(uint32_t command);

    void setStreamOptions(const server::StreamOptions& options);
    server::StreamOptions streamOptions() const;
    // The Display Event Video Only command: closes a recording when no event is on and tells
    // a connected server.
    void setEventOnly(bool eventOnly);
    bool eventOnly() const;
    void setReusePassword(bool reuse);
    bool reusePassword() const;
    void setPassword(const std::string& password);

    // The user's answers. nullopt (Cancel) or false (No) end the connection.
    void answerPassword(const std::optional<std::string>& password);
    void answerRetry(bool retry);

    // One message from the server, as the receive thread handles it. False: end the link.
    // Public for the receive-side fuzz target and for tests without a socket.
    bool handleMessage(const server::Message& message);

    // State for the window (all thread-safe).
    int camera() const;
    std::string host() const;
    uint16_t port() const;
    int timeoutSeconds() const;
    uint32_t serverWord() const;
    uint32_t cameraStatus() const;
    std::string siteName() const;
    std::string cameraName() const;
    // "site - camera", the camera alone, or empty when no camera name came yet.
    std::string title() const;
    bool eventOn() const;
    bool havePicture() const;
    uint32_t lastFrameTime() const;
    int pictureWidth() const;
    int pictureHeight() const;
    uint64_t framesDecoded() const;
    // The last picture converted to RGB; false when there is none.
    bool picture(Picture& out) const;
    // The last picture as the decoder gave it (Y, U, V planes); false when none.
    bool pictureI420(std::vector<uint8_t>& out, int& width, int& height) const;

private:
    void post(LinkNotice notice, int a = 0, int b = 0);
    void receiveLoop(int fd);
    bool prepareDecoding(const server::Message& message);
    void releasePictureLocked();
    bool handleFrame(const server::Message& message, bool key);
    RecordingSource recordingSource() const;
    bool sendU32(uint32_t code, uint32_t value);

    Observer observer_;
    ConnectionLog* log_ = nullptr;
    SendQueue sendQueue_;
    ViewerRecorder recorder_;

    std::mutex connectMutex_; // connect and disconnect, from the main thread or a reconnect worker
    mutable std::mutex stateMutex_;
    int socket_ = -1;
    std::thread receiveThread_;
    std::atomic<bool> stopping_ { false };
    std::atomic<uint32_t> serial_ { 0 };

    std::string host_;
    uint16_t port_ = 0;
    int camera_ = 0;
    int timeoutSeconds_ = 3;
    server::StreamOptions options_ {};
    bool eventOnly_ = false;
    bool eventOn_ = false;
    bool reusePassword_ = false;
    std::string password_;
    uint32_t serverWord_ = 0;
    uint32_t cameraStatus_ = 0;
    std::string siteName_;
    std::string cameraName_;

    // Decoding: touched by the receive thread; the picture under stateMutex_.
    std::vector<uint8_t> streamFormat_; // 40-byte header as received, biSizeImage per frame
    codec::VxDecoderHandle decoder_ {};
    bool decoderOpen_ = false;
    bool formatRefused_ = false;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pictureBuffer_; // Y, U, V
    bool havePicture_ = false;
    uint32_t lastFrameTime_ = 0;
    uint64_t framesDecoded_ = 0;
    bool videoIconOn_ = false;
};

} // namespace vantry::viewer
