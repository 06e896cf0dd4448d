#pragma once

#include "station/core/capture_device.h"
#include "station/core/capture_plan.h"
#include "station/core/channel_messages.h"
#include "station/core/clock.h"
#include "station/core/frame_store.h"
#include "station/core/motion_monitor.h"
#include "station/core/video_format.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

class QObject;

namespace vantry::station {

namespace detail {
class SampleCopier;
}

enum class GraphMode { Preview, Capture };

// The camera's capture settings (ZtCAP%02d, VideoSize_ch%02d, AudioFormat_ch%02d and the
// flags that shape the graph); the hub fills it from the channel settings.
struct ChannelConfig {
    std::string videoDevice;
    std::string audioDevice;
    VideoSubtype subtype = VideoSubtype::I420;
    CaptureSettings capture;
    bool captureAudio = true;
    bool recordAudio = true;
    bool playLiveSound = false;
    int audioChannels = 1;
    int audioBytesPerSample = 2;
    int audioRate = 11025;
    std::string devicesIniPath; // devices.ini in the data folder; may not exist
};

// What the channel reports to the hub. Called on the hub's thread.
class ChannelListener {
public:
    virtual ~ChannelListener() = default;
    // A graph step failed: the step name and text go to the text log, the code with 61304.
    virtual void onGraphFailure(int cameraIndex, const std::string& step, const GraphFailure& failure) = 0;
    // The camera lost its video device (graph torn down, detection stopped), or got its
    // configured device back: the hub re-applies the camera's saved state.
    virtual void onVideoDeviceLost(int /*cameraIndex*/) {}
    virtual void onVideoDeviceReturned(int /*cameraIndex*/) {}
    // The picture format of the new graph (for the frame link and the display).
    virtual void onFrameFormat(int /*cameraIndex*/, const FrameFormat& /*format*/) {}
};

// The recording side of the capture graph (encoder, frame-rate control and the record file
// writer), plugged in by the recorder. Each call returns a new bin (floating) with one sink
// pad named "sink", or nullptr when it cannot be made.
class RecordingBranch {
public:
    virtual ~RecordingBranch() = default;
    virtual GstElement* createVideoBranch(const FrameFormat& format) = 0;
    // Audio recording is optional: nullptr here with an audio device means "no audio".
    virtual GstElement* createAudioBranch(int channels, int bytesPerSample, int rate) = 0;
};

// One camera: its devices, its GStreamer graph, its frame store and its motion analysis.
// Graph operations run on the hub's thread; the sample callback on GStreamer's streaming
// thread touches only the frame store.
class CameraChannel final : public DeviceListener {
public:
    CameraChannel(int cameraIndex, DeviceProvider& provider, ChannelListener* listener,
                  MotionListener* motionListener, const Clock& clock = SystemClock::instance());
    ~CameraChannel() override;

    CameraChannel(const CameraChannel&) = delete;
    CameraChannel& operator=(const CameraChannel&) = delete;

    int cameraIndex() const { return cameraIndex_; }

    // Takes the settings and chooses the stored devices; a stored device that is not
    // present leaves the camera without a device (it is taken up when it appears). 1/0.
    int Init(const ChannelConfig& config);

    // Chooses devices by display name (empty = none). A name that is not present leaves
    // that device unchosen. When the choice changes the graph is rebuilt and started again
    // as capture when it was capturing, else as preview. 1, or 0 when a graph step failed.
    int ChooseDevices(const std::string& videoDevice, const std::string& audioDevice);

    int GraphCreate();
    int GraphStart(GraphMode mode);
    int GraphStop();

    // Set picture format: 0 when accepted (the graph is rebuilt when the size or the colour
    // format changed), else the message id to show (61340, 61345).
    int setPictureFormat(int width, int height, VideoSubtype subtype);
    // Frame-rate plan result and the user's rate; the graph is rebuilt when the rate in use
    // changes. 1/0.
    int setFrameRatePlan(int maxFrameRate, bool useFrameRateControl);
    int setFrameRate(int frameRate);
    int setLiveSound(bool on);

    void setRecordingBranch(RecordingBranch* branch) { recordingBranch_ = branch; }

    // Pause before a graph that failed to run, or stopped on a streaming error, is started
    // again (for as long as it is wanted and its device is present).
    static constexpr std::chrono::milliseconds kDefaultRestartDelay { 5000 };
    void setRestartDelay(std::chrono::milliseconds delay) { restartDelay_ = delay; }

    bool hasVideoDevice() const { return chosenVideo_.has_value(); }
    bool hasAudioDevice() const { return chosenAudio_.has_value(); }
    std::string videoDevice() const { return chosenVideo_ ? chosenVideo_->displayName : std::string(); }
    std::string audioDevice() const { return chosenAudio_ ? chosenAudio_->displayName : std::string(); }
    // The devices the user assigned, kept while they are unplugged (what the settings store).
    const std::string& configuredVideoDevice() const { return config_.videoDevice; }
    const std::string& configuredAudioDevice() const { return config_.audioDevice; }
    const ChannelConfig& config() const { return config_; }

    bool isPreviewRunning() const { return previewRunning_; }
    bool isCaptureRunning() const { return captureRunning_; }
    // The capture graph is built (it may be waiting to be started again after a failure).
    bool isCaptureBuilt() const { return captureBuilt_; }
    bool isGraphBuilt() const { return pipeline_ != nullptr; }
    // The rate the graph asks for, or the device's own rate when it is not set.
    int frameRateInUse() const;
    FrameFormat requestedFormat() const;

    FrameStore& frameStore() { return store_; }
    MotionMonitor& motion() { return motion_; }

    void onDeviceChanged(DeviceChange change, const CaptureDevice& device) override;

private:
    struct Branch {
        GstPad* teePad = nullptr;
        GstElement* queue = nullptr;
        GstElement* sink = nullptr;
    };

    int applyDevices(const std::string& videoDevice, const std::string& audioDevice);
    int restartGraph();
    int GraphBuildPreview();
    int GraphBuildCapture();
    int GraphBreak();
    int GraphClose();
    int runPipeline(const GraphFailure& failure);
    GstElement* addBranch(GstElement* tee, GstElement* sinkBin);
    bool makeVideoChain(const CaptureRequest& request);
    bool makeAudioChain();
    void fail(const std::string& step, const GraphFailure& failure);
    void handleBusError(uint64_t generation, const std::string& detail);
    void removeBranch(GstElement* tee, Branch& branch);
    void scheduleRestart();
    static int onBusMessage(GstBus* bus, GstMessage* message, void* self);

    const int cameraIndex_;
    DeviceProvider& provider_;
    ChannelListener* listener_;
    RecordingBranch* recordingBranch_ = nullptr;
    std::chrono::milliseconds restartDelay_ = kDefaultRestartDelay;
    ChannelConfig config_;
    FrameStore store_;
    MotionMonitor motion_;
    std::unique_ptr<detail::SampleCopier> copier_;
    std::unique_ptr<QObject> context_;
    std::recursive_mutex graphLock_;

    std::optional<CaptureDevice> chosenVideo_;
    std::optional<CaptureDevice> chosenAudio_;
    CaptureRequest request_;
    GraphFailure lastFailure_;
    std::optional<GraphMode> wanted_; // what the hub last started, until it stops it

    GstElement* pipeline_ = nullptr;
    GstElement* videoTee_ = nullptr;
    GstElement* audioTee_ = nullptr;
    std::vector<Branch> branches_;
    Branch liveSound_;
    std::atomic<uint64_t> generation_ { 0 };
    bool previewBuilt_ = false;
    bool captureBuilt_ = false;
    bool previewRunning_ = false;
    bool captureRunning_ = false;
};

} // namespace vantry::station
