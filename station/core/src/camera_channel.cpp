#include "station/core/camera_channel.h"

#include "gst_support.h"
#include "sample_copier.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>

namespace vantry::station {

namespace {

// Step names as the text log has always shown them.
constexpr const char* kStepChooseStop = "ChooseDevices-GraphStop()";
constexpr const char* kStepChooseBreak = "ChooseDevices-GraphBreak()";
constexpr const char* kStepChooseClose = "ChooseDevices-GraphClose()";
constexpr const char* kStepChooseCreate = "ChooseDevices-GraphCreate()";
constexpr const char* kStepChooseStartCapture = "ChooseDevices-GraphStart(GRAPH_CAPTURE)";
constexpr const char* kStepChooseStartPreview = "ChooseDevices-GraphStart(GRAPH_PREVIEW)";
constexpr const char* kStepStartStop = "GraphStart-GraphStop()";
constexpr const char* kStepStartBreak = "GraphStart-GraphBreak()";
constexpr const char* kStepBuildCapture = "GraphStart-GraphBuildCapture()";
constexpr const char* kStepStartCapture = "GraphStart-GraphStartCapture()";
constexpr const char* kStepBuildPreview = "GraphStart-GraphBuildPreview()";
constexpr const char* kStepStartPreview = "GraphStart-GraphStartPreview()";
constexpr const char* kStepStopCapture = "GraphStop-GraphStopCapture()";
constexpr const char* kStepStopPreview = "GraphStop-GraphStopPreview()";

GstElement* make(const char* factory)
{
    return gst_element_factory_make(factory, nullptr);
}

GstFlowReturn onNewSample(GstAppSink* sink, gpointer data)
{
    auto* copier = static_cast<detail::SampleCopier*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_OK;
    copier->deliver(sample);
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

} // namespace

CameraChannel::CameraChannel(int cameraIndex, DeviceProvider& provider, ChannelListener* listener,
                             MotionListener* motionListener, const Clock& clock)
    : cameraIndex_(cameraIndex)
    , provider_(provider)
    , listener_(listener)
    , store_(clock)
    , motion_(cameraIndex, store_, motionListener)
    , copier_(std::make_unique<detail::SampleCopier>(store_))
    , context_(std::make_unique<QObject>())
{
    ensureGStreamer();
    provider_.addListener(this);
}

CameraChannel::~CameraChannel()
{
    provider_.removeListener(this);
    motion_.stopDetection(DetectionSlot::Preview);
    motion_.stopDetection(DetectionSlot::Live);
    std::lock_guard lock(graphLock_);
    GraphStop();
    GraphBreak();
    GraphClose();
}

void CameraChannel::fail(const std::string& step, const GraphFailure& failure)
{
    if (listener_)
        listener_->onGraphFailure(cameraIndex_, step, failure);
}

int CameraChannel::Init(const ChannelConfig& config)
{
    config_ = config;
    config_.capture.frameRate = std::clamp(config_.capture.frameRate, kMinFrameRate, kMaxFrameRate);
    config_.capture.maxFrameRate = std::clamp(config_.capture.maxFrameRate, kMinFrameRate, kMaxFrameRate);
    return applyDevices(config_.videoDevice, config_.audioDevice);
}

int CameraChannel::ChooseDevices(const std::string& videoDevice, const std::string& audioDevice)
{
    config_.videoDevice = videoDevice;
    config_.audioDevice = videoDevice.empty() ? std::string() : audioDevice;
    return applyDevices(config_.videoDevice, config_.audioDevice);
}

int CameraChannel::applyDevices(const std::string& videoDevice, const std::string& audioDevice)
{
    std::lock_guard lock(graphLock_);
    std::optional<CaptureDevice> video;
    std::optional<CaptureDevice> audio;
    CaptureDevice found;
    if (provider_.find(DeviceKind::Video, videoDevice, &found)) {
        video = found;
        if (provider_.find(DeviceKind::Audio, audioDevice, &found))
            audio = found;
    }
    // Same devices: nothing to do, unless the last attempt left them without a graph.
    if (video == chosenVideo_ && audio == chosenAudio_ && (!chosenVideo_ || pipeline_))
        return 1;

    const bool wasCapturing = captureBuilt_;
    if (pipeline_) {
        if (!GraphStop())
            fail(kStepChooseStop, lastFailure_);
        if (!GraphBreak())
            fail(kStepChooseBreak, lastFailure_);
        if (!GraphClose())
            fail(kStepChooseClose, lastFailure_);
    }
    chosenVideo_ = video;
    chosenAudio_ = audio;
    if (!chosenVideo_) {
        // Nothing to watch any more: an open motion period ends now, not at some later tick.
        motion_.stopDetection(DetectionSlot::Preview);
        motion_.stopDetection(DetectionSlot::Live);
        return 1;
    }
    if (!GraphCreate()) {
        fail(kStepChooseCreate, lastFailure_);
        return 0;
    }
    if (!GraphStart(wasCapturing ? GraphMode::Capture : GraphMode::Preview)) {
        fail(wasCapturing ? kStepChooseStartCapture : kStepChooseStartPreview, lastFailure_);
        return 0;
    }
    return 1;
}

FrameFormat CameraChannel::requestedFormat() const
{
    const VideoSubtype subtype = reportedSubtype(config_.subtype);
    const int height = isRgb(subtype) ? -request_.height : request_.height;
    return makeFrameFormat(subtype, request_.width, height);
}

int CameraChannel::frameRateInUse() const
{
    if (request_.setFrameRate)
        return request_.frameRate;
    const int negotiated = copier_->frameRate();
    return negotiated > 0 ? negotiated : request_.frameRate;
}

bool CameraChannel::makeVideoChain(const CaptureRequest& request)
{
    GstElement* source = provider_.createSource(*chosenVideo_);
    if (!source)
        return false;
    GstElement* convert = make("videoconvert");
    GstElement* scale = make("videoscale");
    GstElement* rate = request.setFrameRate ? make("videorate") : make("identity");
    GstElement* caps = make("capsfilter");
    videoTee_ = make("tee");
    if (!convert || !scale || !rate || !caps || !videoTee_) {
        for (GstElement* e : { source, convert, scale, rate, caps, videoTee_ })
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        videoTee_ = nullptr;
        return false;
    }
    // Whatever the device offers is brought to the stored size, colour format and rate, so
    // that every consumer downstream can rely on the format it was told.
    const GstVideoFormat format = gstFormatOf(config_.subtype);
    GstCaps* filter = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(format),
                                          "width", G_TYPE_INT, request.width, "height", G_TYPE_INT, request.height,
                                          nullptr);
    if (request.setFrameRate)
        gst_caps_set_simple(filter, "framerate", GST_TYPE_FRACTION, request.frameRate, 1, nullptr);
    g_object_set(caps, "caps", filter, nullptr);
    gst_caps_unref(filter);
    g_object_set(videoTee_, "allow-not-linked", TRUE, nullptr);

    gst_bin_add_many(GST_BIN(pipeline_), source, convert, scale, rate, caps, videoTee_, nullptr);
    return gst_element_link_many(source, convert, scale, rate, caps, videoTee_, nullptr);
}

bool CameraChannel::makeAudioChain()
{
    GstElement* source = provider_.createSource(*chosenAudio_);
    if (!source) {
        lastFailure_ = graph_failure::kCannotCreateAudioCapture;
        return false;
    }
    GstElement* convert = make("audioconvert");
    GstElement* resample = make("audioresample");
    GstElement* caps = make("capsfilter");
    audioTee_ = make("tee");
    if (!convert || !resample || !caps || !audioTee_) {
        for (GstElement* e : { source, convert, resample, caps, audioTee_ })
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        audioTee_ = nullptr;
        lastFailure_ = graph_failure::kCannotAddAudioCapture;
        return false;
    }
    const int channels = std::clamp(config_.audioChannels, 1, 2);
    const int rate = std::clamp(config_.audioRate, 8000, 48000);
    const char* sampleFormat = config_.audioBytesPerSample == 1 ? "U8" : "S16LE";
    GstCaps* filter = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, sampleFormat, "layout", G_TYPE_STRING,
                                          "interleaved", "channels", G_TYPE_INT, channels, "rate", G_TYPE_INT, rate,
                                          nullptr);
    g_object_set(caps, "caps", filter, nullptr);
    gst_caps_unref(filter);
    g_object_set(audioTee_, "allow-not-linked", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline_), source, convert, resample, caps, audioTee_, nullptr);
    if (!gst_element_link_many(source, convert, resample, caps, audioTee_, nullptr)) {
        lastFailure_ = graph_failure::kNoAudioStreamConfig;
        return false;
    }
    return true;
}

GstElement* CameraChannel::addBranch(GstElement* tee, GstElement* sinkBin)
{
    Branch branch;
    branch.queue = make("queue");
    if (!branch.queue || !sinkBin) {
        if (branch.queue)
            gst_object_unref(gst_object_ref_sink(branch.queue));
        if (sinkBin)
            gst_object_unref(gst_object_ref_sink(sinkBin));
        return nullptr;
    }
    // A consumer that stalls must not stall the camera: its queue drops old buffers.
    g_object_set(branch.queue, "leaky", 2, "max-size-buffers", 4u, "max-size-bytes", 0u, "max-size-time",
                 guint64(0), nullptr);
    branch.sink = sinkBin;
    gst_bin_add_many(GST_BIN(pipeline_), branch.queue, branch.sink, nullptr);
    branch.teePad = gst_element_request_pad_simple(tee, "src_%u");
    GstPad* queueSink = gst_element_get_static_pad(branch.queue, "sink");
    const bool linked = branch.teePad && gst_pad_link(branch.teePad, queueSink) == GST_PAD_LINK_OK
        && gst_element_link(branch.queue, branch.sink);
    gst_object_unref(queueSink);
    if (tee == nullptr || !linked) {
        removeBranch(tee, branch);
        return nullptr;
    }
    branches_.push_back(branch);
    return branch.sink;
}

void CameraChannel::removeBranch(GstElement* tee, Branch& branch)
{
    if (branch.teePad) {
        if (tee)
            gst_element_release_request_pad(tee, branch.teePad);
        gst_object_unref(branch.teePad);
    }
    for (GstElement* e : { branch.queue, branch.sink }) {
        if (e) {
            gst_element_set_state(e, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(pipeline_), e);
        }
    }
    branch = Branch {};
}

int CameraChannel::GraphCreate()
{
    std::lock_guard lock(graphLock_);
    if (pipeline_)
        return 1;
    if (!chosenVideo_) {
        lastFailure_ = graph_failure::kNoVideoStreamConfig;
        return 0;
    }
    const auto overrides = readDevicesIni(config_.devicesIniPath);
    request_ = planCapture(overrides, chosenVideo_->friendlyName, config_.capture);
    if (request_.fromOverride) {
        // The device's own entry wins over the stored size and rate from now on.
        config_.capture.width = request_.width;
        config_.capture.height = request_.height;
    }
    pipeline_ = gst_pipeline_new(nullptr);
    ++generation_;
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, reinterpret_cast<GstBusSyncHandler>(&CameraChannel::onBusMessage), this, nullptr);
    gst_object_unref(bus);

    if (!makeVideoChain(request_)) {
        lastFailure_ = graph_failure::kNoVideoStreamConfig;
        GraphClose();
        return 0;
    }
    if (chosenAudio_ && !makeAudioChain()) {
        const GraphFailure failure = lastFailure_;
        GraphClose();
        lastFailure_ = failure;
        return 0;
    }
    if (chosenAudio_ && config_.playLiveSound) {
        GstElement* sink = make("autoaudiosink");
        if (!sink) {
            fail("GraphCreate()", graph_failure::kCannotOpenSoundRenderer);
        } else if (!addBranch(audioTee_, sink)) {
            fail("GraphCreate()", graph_failure::kCannotAddSoundRenderer);
        } else {
            // The live-sound branch lives as long as the graph, apart from preview and capture.
            liveSound_ = branches_.back();
            branches_.pop_back();
        }
    }
    const FrameFormat format = requestedFormat();
    store_.setFormat(format);
    if (listener_)
        listener_->onFrameFormat(cameraIndex_, format);
    return 1;
}

int CameraChannel::GraphBuildPreview()
{
    GstElement* sink = make("appsink");
    if (!sink) {
        lastFailure_ = graph_failure::kCannotPreview;
        return 0;
    }
    // The frame store keeps only the newest frame; appsink must never block or pile up.
    g_object_set(sink, "sync", FALSE, "max-buffers", 1u, "drop", TRUE, "enable-last-sample", FALSE, nullptr);
    GstAppSinkCallbacks callbacks {};
    callbacks.new_sample = &onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, copier_.get(), nullptr);
    if (!addBranch(videoTee_, sink)) {
        lastFailure_ = graph_failure::kCannotRenderPreview;
        return 0;
    }
    previewBuilt_ = true;
    return 1;
}

int CameraChannel::GraphBuildCapture()
{
    if (!GraphBuildPreview())
        return 0;
    if (!recordingBranch_) {
        lastFailure_ = graph_failure::kCannotOpenVideoCompressor;
        return 0;
    }
    GstElement* video = recordingBranch_->createVideoBranch(requestedFormat());
    if (!video) {
        lastFailure_ = graph_failure::kCannotOpenVideoCompressor;
        return 0;
    }
    if (!addBranch(videoTee_, video)) {
        lastFailure_ = graph_failure::kCannotRenderCapture;
        return 0;
    }
    if (chosenAudio_ && config_.recordAudio) {
        GstElement* audio = recordingBranch_->createAudioBranch(config_.audioChannels, config_.audioBytesPerSample,
                                                                config_.audioRate);
        if (audio && !addBranch(audioTee_, audio)) {
            lastFailure_ = graph_failure::kCannotRenderAudio;
            return 0;
        }
    }
    captureBuilt_ = true;
    return 1;
}

int CameraChannel::runPipeline(const GraphFailure& failure)
{
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        lastFailure_ = failure;
        return 0;
    }
    return 1;
}

int CameraChannel::GraphStart(GraphMode mode)
{
    std::lock_guard lock(graphLock_);
    if (!pipeline_) {
        lastFailure_ = mode == GraphMode::Capture ? graph_failure::kCannotStartCapture
                                                  : graph_failure::kCannotStartPreview;
        return 0;
    }
    if (mode == GraphMode::Capture) {
        if (captureRunning_)
            return 1;
        if (previewBuilt_ && !captureBuilt_) {
            if (!GraphStop())
                fail(kStepStartStop, lastFailure_);
            if (!GraphBreak())
                fail(kStepStartBreak, lastFailure_);
        }
        if (!captureBuilt_ && !GraphBuildCapture()) {
            const GraphFailure failure = lastFailure_;
            fail(kStepBuildCapture, failure);
            // A half-built capture graph is torn down; the channel waits for the next start.
            GraphBreak();
            lastFailure_ = failure;
            return 0;
        }
        wanted_ = GraphMode::Capture;
        if (!runPipeline(graph_failure::kCannotStartCapture)) {
            fail(kStepStartCapture, lastFailure_);
            scheduleRestart();
            return 0;
        }
        captureRunning_ = true;
        return 1;
    }

    if (previewRunning_)
        return 1;
    if (captureBuilt_) {
        if (!GraphStop())
            fail(kStepStartStop, lastFailure_);
        if (!GraphBreak())
            fail(kStepStartBreak, lastFailure_);
    }
    if (!previewBuilt_ && !GraphBuildPreview()) {
        fail(kStepBuildPreview, lastFailure_);
        const GraphFailure failure = lastFailure_;
        GraphBreak();
        lastFailure_ = failure;
        return 0;
    }
    wanted_ = GraphMode::Preview;
    if (!runPipeline(graph_failure::kCannotStartPreview)) {
        fail(kStepStartPreview, lastFailure_);
        scheduleRestart();
        return 0;
    }
    previewRunning_ = true;
    return 1;
}

int CameraChannel::GraphStop()
{
    std::lock_guard lock(graphLock_);
    wanted_.reset();
    if (!pipeline_ || (!previewRunning_ && !captureRunning_))
        return 1;
    const bool capturing = captureRunning_;
    const GstStateChangeReturn result = gst_element_set_state(pipeline_, GST_STATE_NULL);
    previewRunning_ = false;
    captureRunning_ = false;
    if (result == GST_STATE_CHANGE_FAILURE) {
        lastFailure_ = capturing ? graph_failure::kCannotStopCapture : graph_failure::kCannotStopPreview;
        fail(capturing ? kStepStopCapture : kStepStopPreview, lastFailure_);
        return 0;
    }
    return 1;
}

int CameraChannel::GraphBreak()
{
    std::lock_guard lock(graphLock_);
    if (!pipeline_)
        return 1;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    previewRunning_ = false;
    captureRunning_ = false;
    for (auto it = branches_.rbegin(); it != branches_.rend(); ++it) {
        // Preview and capture branches hang off the video tee, audio recording off the audio tee.
        GstElement* tee = nullptr;
        if (it->teePad)
            tee = GST_ELEMENT(gst_pad_get_parent(it->teePad));
        removeBranch(tee, *it);
        if (tee)
            gst_object_unref(tee);
    }
    branches_.clear();
    previewBuilt_ = false;
    captureBuilt_ = false;
    return 1;
}

int CameraChannel::GraphClose()
{
    std::lock_guard lock(graphLock_);
    if (!pipeline_)
        return 1;
    GraphBreak();
    if (liveSound_.teePad) {
        removeBranch(audioTee_, liveSound_);
    }
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    ++generation_;
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
    videoTee_ = nullptr;
    audioTee_ = nullptr;
    return 1;
}

int CameraChannel::restartGraph()
{
    std::lock_guard lock(graphLock_);
    if (!pipeline_)
        return 1;
    const bool capturing = captureBuilt_;
    GraphStop();
    GraphBreak();
    GraphClose();
    if (!GraphCreate()) {
        fail(kStepChooseCreate, lastFailure_);
        return 0;
    }
    if (!GraphStart(capturing ? GraphMode::Capture : GraphMode::Preview)) {
        fail(capturing ? kStepChooseStartCapture : kStepChooseStartPreview, lastFailure_);
        return 0;
    }
    return 1;
}

int CameraChannel::setPictureFormat(int width, int height, VideoSubtype subtype)
{
    const int refused = checkPictureFormat(width, subtype);
    if (refused)
        return refused;
    if (height <= 0 || height > kMaxPictureSide)
        return kMsgBadVideoWidth;
    const bool changed = width != config_.capture.width || height != config_.capture.height || subtype != config_.subtype;
    config_.capture.width = width;
    config_.capture.height = height;
    config_.subtype = subtype;
    if (changed)
        restartGraph();
    return 0;
}

int CameraChannel::setFrameRatePlan(int maxFrameRate, bool useFrameRateControl)
{
    const int before = planCapture({}, {}, config_.capture).frameRate;
    config_.capture.maxFrameRate = std::clamp(maxFrameRate, kMinFrameRate, kMaxFrameRate);
    config_.capture.useFrameRateControl = useFrameRateControl;
    if (planCapture({}, {}, config_.capture).frameRate == before)
        return 1;
    return restartGraph();
}

int CameraChannel::setFrameRate(int frameRate)
{
    const int clamped = std::clamp(frameRate, kMinFrameRate, kMaxFrameRate);
    if (clamped == config_.capture.frameRate)
        return 1;
    config_.capture.frameRate = clamped;
    return restartGraph();
}

int CameraChannel::setLiveSound(bool on)
{
    if (on == config_.playLiveSound)
        return 1;
    config_.playLiveSound = on;
    return chosenAudio_ ? restartGraph() : 1;
}

int CameraChannel::onBusMessage(GstBus*, GstMessage* message, void* data)
{
    auto* self = static_cast<CameraChannel*>(data);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_ERROR || type == GST_MESSAGE_EOS) {
        // A live camera never ends by itself: end of stream means the device stopped.
        std::string detail = "end of stream";
        if (type == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            detail = error ? error->message : "unknown error";
            if (error)
                g_error_free(error);
            g_free(debug);
        }
        const uint64_t generation = self->generation_.load();
        // Streaming threads never touch the graph: the hub's thread handles the error.
        QMetaObject::invokeMethod(
            self->context_.get(), [self, generation, detail] { self->handleBusError(generation, detail); },
            Qt::QueuedConnection);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void CameraChannel::handleBusError(uint64_t generation, const std::string&)
{
    std::lock_guard lock(graphLock_);
    if (generation != generation_.load() || !pipeline_)
        return;
    const bool capturing = captureRunning_;
    if (!capturing && !previewRunning_)
        return;
    // A device that fails while streaming stops the graph. Unattended boxes must not stay
    // blind after a glitch, so the graph is started again after a pause for as long as the
    // device is present; an unplugged device is handled by its removal instead.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    previewRunning_ = false;
    captureRunning_ = false;
    fail(capturing ? kStepStartCapture : kStepStartPreview,
         capturing ? graph_failure::kCannotStartCapture : graph_failure::kCannotStartPreview);
    scheduleRestart();
}

void CameraChannel::scheduleRestart()
{
    const uint64_t generation = generation_.load();
    QTimer::singleShot(restartDelay_, context_.get(), [this, generation] {
        std::lock_guard lock(graphLock_);
        // Only the graph that failed, only while it is still wanted and its device present.
        if (generation != generation_.load() || !pipeline_ || !wanted_ || previewRunning_ || captureRunning_
            || !chosenVideo_ || !provider_.find(DeviceKind::Video, chosenVideo_->displayName))
            return;
        GraphStart(*wanted_);
    });
}

void CameraChannel::onDeviceChanged(DeviceChange change, const CaptureDevice& device)
{
    if (change == DeviceChange::Removed) {
        if (device.kind == DeviceKind::Video && chosenVideo_ && chosenVideo_->displayName == device.displayName) {
            applyDevices({}, {});
            if (listener_)
                listener_->onVideoDeviceLost(cameraIndex_);
        } else if (device.kind == DeviceKind::Audio && chosenAudio_
                   && chosenAudio_->displayName == device.displayName) {
            applyDevices(chosenVideo_->displayName, {});
        }
        return;
    }
    // The camera the user assigned is back (re-plugged, or late at boot): take it up again.
    if (device.kind == DeviceKind::Video && !chosenVideo_ && device.displayName == config_.videoDevice) {
        applyDevices(config_.videoDevice, config_.audioDevice);
        if (chosenVideo_ && listener_)
            listener_->onVideoDeviceReturned(cameraIndex_);
    } else if (device.kind == DeviceKind::Audio && chosenVideo_ && !chosenAudio_
               && device.displayName == config_.audioDevice) {
        applyDevices(chosenVideo_->displayName, config_.audioDevice);
    }
}

} // namespace vantry::station
