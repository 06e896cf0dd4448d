#pragma once

#include "station/core/camera_channel.h"
#include "station/core/clock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vantry::common {
class AviWriter;
class GsmEncoder;
} // namespace vantry::common

namespace vantry::station {

// The recording side of one camera's capture graph: the frame-rate controllers ("VXFRC Video",
// "VXFRC Audio"), the VX01 encoder, GSM 6.10 for the sound, and the record file they feed.
//
// The graph keeps running across file changes: the recorder swaps the file under the branch's
// lock, and the next file begins with a key frame that the encoder is asked for. The appsinks
// call in on GStreamer's streaming threads; everything else comes on the hub's thread.
class RecordBranch final : public RecordingBranch {
public:
    RecordBranch(int cameraIndex, const Clock& clock);
    ~RecordBranch() override;
    RecordBranch(const RecordBranch&) = delete;
    RecordBranch& operator=(const RecordBranch&) = delete;

    GstElement* createVideoBranch(const FrameFormat& format) override;
    GstElement* createAudioBranch(int channels, int bytesPerSample, int rate) override;

    // Encoder quality 0..100 (nVQuality) and the rate written into new files when the caps
    // carry none.
    void setQuality(int quality);
    void setFallbackFrameRate(int framesPerSecond);

    // Starts a new record file at path; frames go into it from the next key frame on.
    // 0, or -1 when the file cannot be created (the reason is in lastError()).
    int openFile(const std::string& path);
    // Takes the current file away from the streaming threads (nullptr when there is none).
    std::unique_ptr<common::AviWriter> takeFile();
    // The frame-rate controllers' gate (bit 0 of their mode; rate limiting stays off).
    // Opening it asks the encoder for a key frame.
    void setGate(bool open);
    bool isGateOpen() const { return gateOpen_.load(); }
    // An event was recorded into the current file (kept in its time marks for a repair).
    void markEvent();

    uint32_t framesWritten() const;
    uint64_t fileBytes() const;
    // Set by a streaming thread when the file nears the AVI size limit; the recorder changes
    // the file then.
    bool fileFull() const { return fileFull_.load(); }
    // A write into the current file failed (a full or vanished disk): the rest of the file is
    // lost, so the recorder starts a new one once there is room again.
    bool writeFailed() const { return writeFailed_.load(); }
    std::string lastError() const;

private:
    void writeVideo(GstElement* sink);
    void writeAudio(GstElement* sink);
    bool writeHeadersLocked(GstElement* videoSink);
    void applyGate(GstElement* frc);
    void requestKeyFrame();

    const int cameraIndex_;
    const Clock& clock_;
    mutable std::mutex lock_; // the writer, the encoder state and the element pointers
    std::unique_ptr<common::AviWriter> writer_;
    std::unique_ptr<common::GsmEncoder> gsm_;
    bool headersWritten_ = false;
    bool waitingForKeyFrame_ = true;
    bool audioBranch_ = false;
    int audioChannels_ = 1;
    int width_ = 0;
    int height_ = 0;
    int fallbackRate_ = 30;
    int quality_ = 75;
    std::string lastError_;
    GstElement* videoFrc_ = nullptr;
    GstElement* audioFrc_ = nullptr;
    GstElement* encoder_ = nullptr;
    std::atomic<bool> gateOpen_ { true };
    std::atomic<bool> fileFull_ { false };
    std::atomic<bool> writeFailed_ { false };
};

} // namespace vantry::station
