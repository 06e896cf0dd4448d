#pragma once

#include "codec/colour_converter.h"
#include "codec/vx_encoder.h"
#include "common/frame_channel.h"
#include "server/camera_reader.h"
#include "server/stream_protocol.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vantry::server {

// What a viewer's stream options come to for a camera format: the streamed size, the
// encoder's quantiser and key-frame interval, and the pump's period.
struct EncoderSettings {
    bool halfSize = false;
    int width = 0;  // streamed picture
    int height = 0;
    int quantiser = 0;
    int keyFrameInterval = 0;
    int periodMs = 0;
};
EncoderSettings encoderSettingsFor(const CameraFormat& camera, const StreamOptions& options);

// Keeps every second pixel of every second row of the first 2 x half width columns and
// 2 x half height rows, in storage order. For YUY2 a pixel pair keeps the luma of source
// pixels 4k and 4k + 2 and the chroma of pair 4k, 4k + 1. Returns false for a layout it
// cannot halve.
bool halvePicture(const CameraFormat& camera, const uint8_t* source, int halfWidth, int halfHeight, uint8_t* out);
// Bytes of a halved picture of that layout.
size_t halfPictureBytes(SourceLayout layout, int halfWidth, int halfHeight);

// One viewer's encoding state: the camera format it was prepared for, the buffers from the
// shared picture to a 4:2:0 picture, the VX01 encoder and its output. Used by the viewer's
// pump alone once streaming.
class FrameEncoder {
public:
    FrameEncoder();
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    // Prepares once (later calls succeed without change). False when the encoder cannot take
    // the size (not multiples of 16).
    bool prepare(const CameraFormat& camera, const StreamOptions& options);
    bool isPrepared() const { return prepared_; }
    // Allocates the buffers (idempotent). False when memory is short.
    bool start();
    void release();

    // Takes the record's picture when it is new (stamps differ from the last one encoded) and
    // turns it into the 4:2:0 picture the encoder reads. False: no new picture.
    bool grab(CameraReader& reader);
    // Encodes the grabbed picture; the result's bytes stay valid until the next call. Zero
    // bytes: nothing to send.
    struct Result {
        std::span<const uint8_t> bytes;
        bool key = false;
    };
    Result encode(bool keyFrameRequest);

    const EncoderSettings& settings() const { return settings_; }
    const CameraFormat& camera() const { return camera_; }
    VideoFormat outputFormat() const { return makeVx01Format(settings_.width, settings_.height); }
    common::FrameStamps lastStamps() const { return lastStamps_; }
    const codec::VxEncoderParams& params() const { return params_; }
    // Converts `frame` (a whole camera picture) for the encoder as grab() does; for tests
    // and benchmarks that bring their own picture.
    bool convert(const uint8_t* frame);
    const codec::VxFramePlanes& planes() const { return planes_; }

private:
    bool prepared_ = false;
    bool started_ = false;
    CameraFormat camera_;
    StreamOptions options_;
    EncoderSettings settings_;
    codec::VxEncoderParams params_ {};
    codec::ColourConverter converter_;
    std::vector<uint8_t> frame_;
    std::vector<uint8_t> half_;
    std::vector<uint8_t> planar_;
    std::vector<uint8_t> output_;
    codec::VxFramePlanes planes_ {};
    common::FrameStamps lastStamps_ {};
};

} // namespace vantry::server
