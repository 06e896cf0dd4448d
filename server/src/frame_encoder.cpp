#include "server/frame_encoder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vantry::server {

namespace {

int bytesPerPixel(SourceLayout layout)
{
    switch (layout) {
    case SourceLayout::RGB24:
        return 3;
    case SourceLayout::RGB32:
        return 4;
    case SourceLayout::RGB555:
        return 2;
    default:
        return 0;
    }
}

size_t rgbPitch(int width, int bpp) { return (static_cast<size_t>(width) * static_cast<size_t>(bpp) + 3) & ~size_t { 3 }; }

bool isRgb(SourceLayout layout) { return bytesPerPixel(layout) != 0; }

// Every second sample of every second row of a plane.
void halvePlane(const uint8_t* source, size_t sourcePitch, int outWidth, int outHeight, uint8_t* out)
{
    for (int row = 0; row < outHeight; ++row) {
        const uint8_t* in = source + static_cast<size_t>(row) * 2 * sourcePitch;
        uint8_t* dst = out + static_cast<size_t>(row) * static_cast<size_t>(outWidth);
        for (int x = 0; x < outWidth; ++x)
            dst[x] = in[2 * x];
    }
}

} // namespace

EncoderSettings encoderSettingsFor(const CameraFormat& camera, const StreamOptions& options)
{
    EncoderSettings settings;
    settings.halfSize = options.halfSize != 0 && camera.width >= 640;
    if (settings.halfSize) {
        settings.width = (camera.width / 32) * 16;
        settings.height = (camera.height / 32) * 16;
    } else {
        settings.width = camera.width;
        settings.height = camera.height;
    }
    const int quality = static_cast<int>(std::clamp<uint32_t>(options.quality, 2, 12));
    settings.quantiser = quality + 1;
    settings.keyFrameInterval = quality >= 7 ? 100 : quality >= 3 ? 125 : 150;
    const uint32_t rate = std::max<uint32_t>(options.frameRate, 1);
    settings.periodMs = static_cast<int>(1000 / std::min<uint32_t>(rate, 1000));
    return settings;
}

size_t halfPictureBytes(SourceLayout layout, int halfWidth, int halfHeight)
{
    return isRgb(layout) ? rgbPitch(halfWidth, bytesPerPixel(layout)) * static_cast<size_t>(halfHeight)
                         : requiredFrameBytes(layout, halfWidth, halfHeight, 0);
}

bool halvePicture(const CameraFormat& camera, const uint8_t* source, int halfWidth, int halfHeight, uint8_t* out)
{
    const size_t w = static_cast<size_t>(camera.width);
    const size_t h = static_cast<size_t>(camera.height);
    const size_t hw = static_cast<size_t>(halfWidth);
    const size_t hh = static_cast<size_t>(halfHeight);
    switch (camera.layout) {
    case SourceLayout::RGB24:
    case SourceLayout::RGB32:
    case SourceLayout::RGB555: {
        const int bpp = bytesPerPixel(camera.layout);
        const size_t inPitch = rgbPitch(camera.width, bpp);
        const size_t outPitch = rgbPitch(halfWidth, bpp);
        for (size_t row = 0; row < hh; ++row) {
            const uint8_t* in = source + row * 2 * inPitch;
            uint8_t* dst = out + row * outPitch;
            for (size_t x = 0; x < hw; ++x)
                std::memcpy(dst + x * static_cast<size_t>(bpp), in + 2 * x * static_cast<size_t>(bpp), static_cast<size_t>(bpp));
        }
        return true;
    }
    case SourceLayout::YUY2: {
        const size_t inPitch = w * 2;
        const size_t outPitch = hw * 2;
        for (size_t row = 0; row < hh; ++row) {
            const uint8_t* in = source + row * 2 * inPitch;
            uint8_t* dst = out + row * outPitch;
            for (size_t pair = 0; pair < hw / 2; ++pair) {
                const uint8_t* quad = in + pair * 8; // source pixels 4k .. 4k + 3
                dst[pair * 4 + 0] = quad[0];         // luma of 4k
                dst[pair * 4 + 1] = quad[1];         // U of pair 4k, 4k + 1
                dst[pair * 4 + 2] = quad[4];         // luma of 4k + 2
                dst[pair * 4 + 3] = quad[3];         // V of pair 4k, 4k + 1
            }
        }
        return true;
    }
    case SourceLayout::I420:
    case SourceLayout::YV12:
    case SourceLayout::YVU9: {
        const size_t sub = camera.layout == SourceLayout::YVU9 ? 4 : 2;
        halvePlane(source, w, halfWidth, halfHeight, out);
        const uint8_t* inChroma = source + w * h;
        uint8_t* outChroma = out + hw * hh;
        for (int plane = 0; plane < 2; ++plane) {
            halvePlane(inChroma, w / sub, static_cast<int>(hw / sub), static_cast<int>(hh / sub), outChroma);
            inChroma += (w / sub) * (h / sub);
            outChroma += (hw / sub) * (hh / sub);
        }
        return true;
    }
    case SourceLayout::Unknown:
        break;
    }
    return false;
}

FrameEncoder::FrameEncoder() = default;

FrameEncoder::~FrameEncoder() { release(); }

void FrameEncoder::release()
{
    codec::vx_encoder_close(&params_);
    params_ = {};
    prepared_ = false;
    started_ = false;
    frame_ = {};
    half_ = {};
    planar_ = {};
    output_ = {};
    planes_ = {};
}

bool FrameEncoder::prepare(const CameraFormat& camera, const StreamOptions& options)
{
    if (prepared_)
        return true;
    const EncoderSettings settings = encoderSettingsFor(camera, options);
    codec::VxEncoderParams params {};
    params.width = settings.width;
    params.height = settings.height;
    params.quantiser = settings.quantiser;
    params.keyFrameInterval = settings.keyFrameInterval;
    params.searchMode = codec::kVxSearchZero;
    if (codec::vx_encoder_open(&params) != 0)
        return false;
    camera_ = camera;
    options_ = options;
    settings_ = settings;
    params_ = params;
    prepared_ = true;
    return true;
}

bool FrameEncoder::start()
{
    if (!prepared_)
        return false;
    if (started_)
        return true;
    const size_t w = static_cast<size_t>(settings_.width);
    const size_t h = static_cast<size_t>(settings_.height);
    try {
        frame_.assign(camera_.frameBytes, 0);
        if (settings_.halfSize)
            half_.assign(halfPictureBytes(camera_.layout, settings_.width, settings_.height), 0);
        const bool inPlace = camera_.layout == SourceLayout::I420 || camera_.layout == SourceLayout::YV12;
        if (!inPlace)
            planar_.assign(w * h * 3 / 2, 0);
        output_.assign(static_cast<size_t>(vx01ImageSize(settings_.width, settings_.height)) * 2, 0);
    } catch (const std::bad_alloc&) {
        frame_ = {};
        half_ = {};
        planar_ = {};
        output_ = {};
        return false;
    }
    uint8_t* base = !planar_.empty() ? planar_.data() : settings_.halfSize ? half_.data() : frame_.data();
    planes_.y = base;
    planes_.stride = settings_.width;
    if (camera_.layout == SourceLayout::YV12 && planar_.empty()) {
        planes_.v = base + w * h;
        planes_.u = planes_.v + w * h / 4;
    } else {
        planes_.u = base + w * h;
        planes_.v = planes_.u + w * h / 4;
    }
    lastStamps_ = {};
    started_ = true;
    return true;
}

bool FrameEncoder::convert(const uint8_t* frame)
{
    if (!started_)
        return false;
    if (frame != frame_.data())
        std::memcpy(frame_.data(), frame, frame_.size());
    const uint8_t* source = frame_.data();
    CameraFormat geometry = camera_;
    if (settings_.halfSize) {
        if (!halvePicture(camera_, source, settings_.width, settings_.height, half_.data()))
            return false;
        source = half_.data();
        geometry.width = settings_.width;
        geometry.height = settings_.height;
    }
    const int w = geometry.width;
    const int h = geometry.height;
    switch (camera_.layout) {
    case SourceLayout::I420:
    case SourceLayout::YV12:
        return true; // the planes point into the picture itself
    case SourceLayout::YUY2:
        codec::ColourConverter::yuy2ToI420(source, static_cast<ptrdiff_t>(w) * 2, w, h, planes_);
        return true;
    case SourceLayout::YVU9: {
        // Y as it is; each chroma sample of the 4x4 grid covers 2x2 samples of 4:2:0. The
        // first stored chroma plane is V.
        std::memcpy(planes_.y, source, static_cast<size_t>(w) * static_cast<size_t>(h));
        const uint8_t* v9 = source + static_cast<size_t>(w) * static_cast<size_t>(h);
        const uint8_t* u9 = v9 + static_cast<size_t>(w / 4) * static_cast<size_t>(h / 4);
        for (int row = 0; row < h / 2; ++row) {
            for (int x = 0; x < w / 2; ++x) {
                const size_t at = static_cast<size_t>(row / 2) * static_cast<size_t>(w / 4) + static_cast<size_t>(x / 2);
                planes_.v[row * (w / 2) + x] = v9[at];
                planes_.u[row * (w / 2) + x] = u9[at];
            }
        }
        return true;
    }
    case SourceLayout::RGB24:
    case SourceLayout::RGB32:
    case SourceLayout::RGB555: {
        codec::BitmapInfoHeader header;
        header.width = w;
        header.height = h; // bottom-up
        header.bitCount = static_cast<uint16_t>(bytesPerPixel(camera_.layout) * 8);
        header.compression = 0;
        header.sizeImage = static_cast<uint32_t>(rgbPitch(w, bytesPerPixel(camera_.layout)) * static_cast<size_t>(h));
        return converter_.rgbToI420(header, source, header.sizeImage, planes_) == 1;
    }
    case SourceLayout::Unknown:
        break;
    }
    return false;
}

bool FrameEncoder::grab(CameraReader& reader)
{
    if (!started_)
        return false;
    common::FrameStamps stamps;
    if (!reader.peekPicture(camera_.frameBytes, &stamps))
        return false;
    if (lastStamps_.second != 0 && stamps == lastStamps_)
        return false;
    if (!reader.readPicture(frame_.data(), camera_.frameBytes, &stamps))
        return false;
    if (!convert(frame_.data()))
        return false;
    lastStamps_ = stamps;
    return true;
}

FrameEncoder::Result FrameEncoder::encode(bool keyFrameRequest)
{
    Result result;
    if (!started_)
        return result;
    params_.keyFrameRequest = keyFrameRequest ? 1 : 0;
    const int bytes = codec::vx_encode(&params_, &planes_, output_.data(), output_.size());
    params_.keyFrameRequest = 0;
    if (bytes > 0) {
        result.bytes = std::span<const uint8_t>(output_.data(), static_cast<size_t>(bytes));
        result.key = params_.keyFlag != 0;
    }
    return result;
}

} // namespace vantry::server
