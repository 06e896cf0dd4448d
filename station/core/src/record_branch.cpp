#include "station/core/record_branch.h"

#include "common/avi_writer.h"
#include "common/gsm_encoder.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>

namespace vantry::station {

namespace {

constexpr const char* kVideoFrcName = "VXFRC Video";
constexpr const char* kAudioFrcName = "VXFRC Audio";
// Bits of vxfrc's mode: the gate, and rate limiting by time stamp (kept off: the camera's
// rate is already what the graph asked for).
constexpr int kFrcGateOpen = 0x01;
constexpr int kFrcRateLimit = 0x10;
// GSM 6.10 in its WAV49 form takes 8 kHz mono.
constexpr int kGsmRate = 8000;

GstElement* make(const char* factory, const char* name = nullptr)
{
    return gst_element_factory_make(factory, name);
}

void unrefAll(std::initializer_list<GstElement*> elements)
{
    for (GstElement* e : elements)
        if (e)
            gst_object_unref(gst_object_ref_sink(e));
}

void replaceRef(GstElement*& slot, GstElement* element)
{
    if (slot)
        gst_object_unref(slot);
    slot = element ? GST_ELEMENT(gst_object_ref(element)) : nullptr;
}

// A bin with a ghost "sink" pad on its first element.
GstElement* makeBin(const char* name, std::initializer_list<GstElement*> chain)
{
    GstElement* bin = gst_bin_new(name);
    GstElement* previous = nullptr;
    for (GstElement* e : chain) {
        gst_bin_add(GST_BIN(bin), e);
        if (previous && !gst_element_link(previous, e)) {
            gst_object_unref(gst_object_ref_sink(bin));
            return nullptr;
        }
        previous = e;
    }
    GstPad* target = gst_element_get_static_pad(*chain.begin(), "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    return bin;
}

GstElement* makeAppSink(GstFlowReturn (*callback)(GstAppSink*, gpointer), void* self)
{
    GstElement* sink = make("appsink");
    if (!sink)
        return nullptr;
    // Recording runs at the camera's pace, never at the clock's; and a slow disk must not hold
    // the camera (the branch's queue drops frames instead).
    g_object_set(sink, "sync", FALSE, "async", FALSE, "enable-last-sample", FALSE, "max-buffers", 8u, nullptr);
    GstAppSinkCallbacks callbacks {};
    callbacks.new_sample = callback;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, self, nullptr);
    return sink;
}

} // namespace

RecordBranch::RecordBranch(int cameraIndex, const Clock& clock)
    : cameraIndex_(cameraIndex)
    , clock_(clock)
{
}

RecordBranch::~RecordBranch()
{
    std::lock_guard lock(lock_);
    writer_.reset(); // unfinished: the file stays repairable
    replaceRef(videoFrc_, nullptr);
    replaceRef(audioFrc_, nullptr);
    replaceRef(encoder_, nullptr);
}

void RecordBranch::setQuality(int quality)
{
    quality_ = std::clamp(quality, 0, 100);
}

void RecordBranch::setFallbackFrameRate(int framesPerSecond)
{
    fallbackRate_ = std::clamp(framesPerSecond, 1, 60);
}

GstElement* RecordBranch::createVideoBranch(const FrameFormat& format)
{
    GstElement* frc = make("vxfrc", kVideoFrcName);
    GstElement* encoder = make("vxenc");
    GstElement* sink = makeAppSink(
        [](GstAppSink* s, gpointer self) {
            static_cast<RecordBranch*>(self)->writeVideo(GST_ELEMENT(s));
            return GST_FLOW_OK;
        },
        this);
    if (!frc || !encoder || !sink) {
        unrefAll({ frc, encoder, sink });
        return nullptr;
    }
    g_object_set(encoder, "quality", quality_ / 100.0, nullptr);
    applyGate(frc);
    GstElement* bin = makeBin(nullptr, { frc, encoder, sink });
    if (!bin)
        return nullptr;
    std::lock_guard lock(lock_);
    replaceRef(videoFrc_, frc);
    replaceRef(encoder_, encoder);
    replaceRef(audioFrc_, nullptr);
    width_ = format.width;
    height_ = format.absHeight();
    // Every graph starts a new stream: the file waits for its first key frame.
    audioBranch_ = false;
    waitingForKeyFrame_ = true;
    return bin;
}

GstElement* RecordBranch::createAudioBranch(int, int, int)
{
    GstElement* frc = make("vxfrc", kAudioFrcName);
    GstElement* convert = make("audioconvert");
    GstElement* resample = make("audioresample");
    GstElement* caps = make("capsfilter");
    GstElement* sink = makeAppSink(
        [](GstAppSink* s, gpointer self) {
            static_cast<RecordBranch*>(self)->writeAudio(GST_ELEMENT(s));
            return GST_FLOW_OK;
        },
        this);
    if (!frc || !convert || !resample || !caps || !sink) {
        unrefAll({ frc, convert, resample, caps, sink });
        return nullptr;
    }
    GstCaps* filter = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                          "interleaved", "channels", G_TYPE_INT, 1, "rate", G_TYPE_INT, kGsmRate,
                                          nullptr);
    g_object_set(caps, "caps", filter, nullptr);
    gst_caps_unref(filter);
    applyGate(frc);
    GstElement* bin = makeBin(nullptr, { frc, convert, resample, caps, sink });
    if (!bin)
        return nullptr;
    std::lock_guard lock(lock_);
    replaceRef(audioFrc_, frc);
    audioBranch_ = true;
    if (!gsm_)
        gsm_ = std::make_unique<common::GsmEncoder>();
    return bin;
}

void RecordBranch::applyGate(GstElement* frc)
{
    if (!frc)
        return;
    gint mode = 0;
    g_object_get(frc, "mode", &mode, nullptr);
    mode = gateOpen_.load() ? (mode | kFrcGateOpen) : (mode & ~kFrcGateOpen);
    mode &= ~kFrcRateLimit;
    g_object_set(frc, "mode", mode, nullptr);
}

void RecordBranch::requestKeyFrame()
{
    if (encoder_)
        g_object_set(encoder_, "key-frame-request", TRUE, nullptr);
}

void RecordBranch::setGate(bool open)
{
    std::lock_guard lock(lock_);
    const bool opening = open && !gateOpen_.load();
    gateOpen_ = open;
    // The encoder's last picture is from before the gate closed: the first picture after it
    // must stand alone.
    if (opening) {
        waitingForKeyFrame_ = true;
        requestKeyFrame();
    }
    applyGate(videoFrc_);
    applyGate(audioFrc_);
}

void RecordBranch::markEvent()
{
    std::lock_guard lock(lock_);
    if (writer_)
        writer_->SetKind(1);
}

int RecordBranch::openFile(const std::string& path)
{
    auto writer = std::make_unique<common::AviWriter>();
    if (writer->Create(path) != 0) {
        std::lock_guard lock(lock_);
        lastError_ = writer->LastError();
        return -1;
    }
    std::lock_guard lock(lock_);
    writer_ = std::move(writer);
    headersWritten_ = false;
    waitingForKeyFrame_ = true;
    fileFull_ = false;
    writeFailed_ = false;
    if (gsm_)
        gsm_ = std::make_unique<common::GsmEncoder>();
    requestKeyFrame();
    return 0;
}

std::unique_ptr<common::AviWriter> RecordBranch::takeFile()
{
    std::lock_guard lock(lock_);
    if (writer_ && headersWritten_ && gsm_) {
        std::vector<uint8_t> tail;
        if (gsm_->Flush(tail) > 0)
            writer_->WriteAudio(tail.data(), tail.size());
    }
    fileFull_ = false;
    return std::move(writer_);
}

uint32_t RecordBranch::framesWritten() const
{
    std::lock_guard lock(lock_);
    return writer_ ? writer_->VideoFrames() : 0;
}

uint64_t RecordBranch::fileBytes() const
{
    std::lock_guard lock(lock_);
    return writer_ ? writer_->FileSize() : 0;
}

std::string RecordBranch::lastError() const
{
    std::lock_guard lock(lock_);
    return lastError_;
}

bool RecordBranch::writeHeadersLocked(GstElement* videoSink)
{
    int width = width_;
    int height = height_;
    int rate = fallbackRate_;
    GstPad* pad = gst_element_get_static_pad(videoSink, "sink");
    if (GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        gint n = 0, d = 0;
        gst_structure_get_int(s, "width", &width);
        gst_structure_get_int(s, "height", &height);
        if (gst_structure_get_fraction(s, "framerate", &n, &d) && n > 0 && d > 0)
            rate = std::clamp((n + d / 2) / d, 1, 60);
        gst_caps_unref(caps);
    }
    if (pad)
        gst_object_unref(pad);
    const common::AviWriterSetup setup = common::StationAviSetup(width, height, rate, audioBranch_);
    if (writer_->WriteHeaders(setup) != 0) {
        lastError_ = writer_->LastError();
        writeFailed_ = true;
        return false;
    }
    headersWritten_ = true;
    return true;
}

void RecordBranch::writeVideo(GstElement* sink)
{
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample)
        return;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const bool keyFrame = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
        std::lock_guard lock(lock_);
        if (writer_ && (keyFrame || !waitingForKeyFrame_)) {
            waitingForKeyFrame_ = false;
            if (headersWritten_ || writeHeadersLocked(sink)) {
                if (writer_->WriteVideoFrame(map.data, map.size, keyFrame,
                                             static_cast<int32_t>(clock_.nowSeconds()))
                    != 0) {
                    lastError_ = writer_->LastError();
                    writeFailed_ = true;
                }
                if (writer_->FileSize() >= common::AviWriter::kMaxFileBytes - (64u << 20))
                    fileFull_ = true;
            }
        } else if (writer_) {
            requestKeyFrame();
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
}

void RecordBranch::writeAudio(GstElement* sink)
{
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample)
        return;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        std::lock_guard lock(lock_);
        // Sound before the first picture has nowhere to go: the headers come with the picture.
        if (writer_ && headersWritten_ && gsm_ && gsm_->IsValid()) {
            std::vector<uint8_t> blocks;
            gsm_->Encode(reinterpret_cast<const int16_t*>(map.data), map.size / sizeof(int16_t), blocks);
            if (!blocks.empty() && writer_->WriteAudio(blocks.data(), blocks.size()) != 0) {
                lastError_ = writer_->LastError();
                writeFailed_ = true;
            }
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
}

} // namespace vantry::station
