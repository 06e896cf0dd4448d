#include "server/stream_protocol.h"

#include <algorithm>
#include <cstring>

namespace vantry::server {

namespace {

struct CodeName {
    uint32_t code;
    const char* name;
};

constexpr CodeName kRequestNames[] = {
    { CMD_GET_INFO, "CMD_GET_INFO" },
    { CMD_START_STREAM, "CMD_START_STREAM" },
    { CMD_STOP_STREAM, "CMD_STOP_STREAM" },
    { CMD_KEY_FRAME, "CMD_KEY_FRAME" },
    { CMD_SET_OPTIONS, "CMD_SET_OPTIONS" },
    { CMD_EVENT_ONLY, "CMD_EVENT_ONLY" },
    { CMD_EVENT_ONLY_QUIET, "CMD_EVENT_ONLY_QUIET" },
    { CMD_ASK_PASSWORD, "CMD_ASK_PASSWORD" },
    { CMD_PASSWORD, "CMD_PASSWORD" },
    { CMD_PTZ, "CMD_PTZ" },
    { CMD_SELECT_CAMERA, "CMD_SELECT_CAMERA" },
    { CMD_GET_CAMERA_STATUS, "CMD_GET_CAMERA_STATUS" },
};

constexpr CodeName kMessageNames[] = {
    { MSG_VIDEO_FORMAT, "MSG_VIDEO_FORMAT" },
    { MSG_KEY_FRAME, "MSG_KEY_FRAME" },
    { MSG_DELTA_FRAME, "MSG_DELTA_FRAME" },
    { MSG_HELLO, "MSG_HELLO" },
    { MSG_EVENT_ON, "MSG_EVENT_ON" },
    { MSG_EVENT_OFF, "MSG_EVENT_OFF" },
    { MSG_OPTIONS_OK, "MSG_OPTIONS_OK" },
    { MSG_EVENT_ONLY_OK, "MSG_EVENT_ONLY_OK" },
    { MSG_IDLE, "MSG_IDLE" },
    { MSG_PASSWORD_NEEDED, "MSG_PASSWORD_NEEDED" },
    { MSG_PASSWORD_RESULT, "MSG_PASSWORD_RESULT" },
    { MSG_CAMERA_STATUS, "MSG_CAMERA_STATUS" },
    { MSG_CAMERA_OK, "MSG_CAMERA_OK" },
    { MSG_CAMERA_UNAVAILABLE, "MSG_CAMERA_UNAVAILABLE" },
    { MSG_SITE_NAME, "MSG_SITE_NAME" },
    { MSG_CAMERA_NAME, "MSG_CAMERA_NAME" },
};

template <size_t N>
const char* lookup(const CodeName (&table)[N], uint32_t code)
{
    for (const CodeName& entry : table)
        if (entry.code == code)
            return entry.name;
    return "unknown";
}

} // namespace

const char* requestName(uint32_t code) { return lookup(kRequestNames, code); }
const char* messageName(uint32_t code) { return lookup(kMessageNames, code); }

void putU32(uint8_t* out, uint32_t value)
{
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t getU32(const uint8_t* in)
{
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) | (static_cast<uint32_t>(in[2]) << 16)
        | (static_cast<uint32_t>(in[3]) << 24);
}

void appendU32(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t bytes[4];
    putU32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

// ---------------------------------------------------------------------------------------
// Payload records

std::array<uint8_t, kStreamOptionsBytes> encodeStreamOptions(const StreamOptions& options)
{
    std::array<uint8_t, kStreamOptionsBytes> out {};
    putU32(out.data(), options.quality);
    putU32(out.data() + 4, options.halfSize);
    putU32(out.data() + 8, options.frameRate);
    putU32(out.data() + 12, options.eventOnly);
    return out;
}

std::optional<StreamOptions> parseStreamOptions(std::span<const uint8_t> payload)
{
    if (payload.size() < kStreamOptionsBytes)
        return std::nullopt;
    StreamOptions options;
    options.quality = getU32(payload.data());
    options.halfSize = getU32(payload.data() + 4);
    options.frameRate = getU32(payload.data() + 8);
    options.eventOnly = getU32(payload.data() + 12);
    return options;
}

uint32_t vx01ImageSize(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const uint64_t rowBytes = ((static_cast<uint64_t>(width) * 12 + 31) & ~uint64_t { 31 }) / 8;
    const uint64_t total = rowBytes * static_cast<uint64_t>(height);
    return total > UINT32_MAX ? 0 : static_cast<uint32_t>(total);
}

VideoFormat makeVx01Format(int32_t width, int32_t height)
{
    VideoFormat format;
    format.width = width;
    format.height = height;
    format.bitCount = 12;
    format.compression = kFourccVx01;
    format.sizeImage = vx01ImageSize(width, height);
    return format;
}

std::array<uint8_t, kVideoFormatBytes> encodeVideoFormat(const VideoFormat& format)
{
    std::array<uint8_t, kVideoFormatBytes> out {};
    putU32(out.data(), 40);
    putU32(out.data() + 4, static_cast<uint32_t>(format.width));
    putU32(out.data() + 8, static_cast<uint32_t>(format.height));
    out[12] = 1; // planes
    out[14] = static_cast<uint8_t>(format.bitCount);
    out[15] = static_cast<uint8_t>(format.bitCount >> 8);
    putU32(out.data() + 16, format.compression);
    putU32(out.data() + 20, format.sizeImage);
    return out;
}

std::optional<VideoFormat> parseVideoFormat(std::span<const uint8_t> payload)
{
    if (payload.size() < kVideoFormatBytes)
        return std::nullopt;
    if (getU32(payload.data()) < kVideoFormatBytes)
        return std::nullopt;
    VideoFormat format;
    format.width = static_cast<int32_t>(getU32(payload.data() + 4));
    format.height = static_cast<int32_t>(getU32(payload.data() + 8));
    format.bitCount = static_cast<uint16_t>(payload[14] | (payload[15] << 8));
    format.compression = getU32(payload.data() + 16);
    format.sizeImage = getU32(payload.data() + 20);
    if (format.width <= 0 || format.height == 0)
        return std::nullopt;
    return format;
}

std::vector<uint8_t> encodeText(std::string_view text)
{
    // A text ends at its first zero byte, as the receiver reads it.
    const size_t end = std::min(text.find('\0'), text.size());
    std::vector<uint8_t> out(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end));
    out.push_back(0);
    return out;
}

std::string parseText(std::span<const uint8_t> payload)
{
    const auto end = std::find(payload.begin(), payload.end(), uint8_t { 0 });
    return std::string(payload.begin(), end);
}

std::array<uint8_t, 4> encodeU32(uint32_t value)
{
    std::array<uint8_t, 4> out {};
    putU32(out.data(), value);
    return out;
}

std::optional<uint32_t> parseU32(std::span<const uint8_t> payload)
{
    if (payload.size() < 4)
        return std::nullopt;
    return getU32(payload.data());
}

// ---------------------------------------------------------------------------------------
// Whole messages

void appendMessage(std::vector<uint8_t>& out, uint32_t code, uint32_t time, std::span<const uint8_t> payload)
{
    out.reserve(out.size() + kMessageHeaderBytes + payload.size());
    out.push_back(kMarker);
    appendU32(out, static_cast<uint32_t>(payload.size() + 8));
    appendU32(out, code);
    appendU32(out, time);
    out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> encodeMessage(uint32_t code, uint32_t time, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> out;
    appendMessage(out, code, time, payload);
    return out;
}

std::vector<uint8_t> encodeRequest(uint32_t code, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> out;
    out.reserve(kRequestHeaderBytes + payload.size());
    out.push_back(kMarker);
    appendU32(out, static_cast<uint32_t>(payload.size() + 4));
    appendU32(out, code);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> encodeRequestU32(uint32_t code, uint32_t value)
{
    const auto payload = encodeU32(value);
    return encodeRequest(code, payload);
}

size_t fixedRequestPayload(uint32_t code)
{
    switch (code) {
    case CMD_SET_OPTIONS:
        return kStreamOptionsBytes;
    case CMD_EVENT_ONLY:
    case CMD_EVENT_ONLY_QUIET:
    case CMD_PTZ:
    case CMD_SELECT_CAMERA:
        return 4;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------
// RequestParser

void RequestParser::reset()
{
    stage_ = Stage::Marker;
    headerFill_ = 0;
    current_ = Request {};
    payloadWanted_ = 0;
    skipLeft_ = 0;
}

void RequestParser::feed(std::span<const uint8_t> bytes, std::vector<Request>& out)
{
    size_t at = 0;
    while (at < bytes.size()) {
        switch (stage_) {
        case Stage::Marker: {
            const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(at);
            const auto marker = std::find(begin, bytes.end(), kMarker);
            skipped_ += static_cast<uint64_t>(marker - begin);
            if (marker == bytes.end())
                return;
            at = static_cast<size_t>(marker - bytes.begin()) + 1;
            stage_ = Stage::Header;
            headerFill_ = 0;
            break;
        }
        case Stage::Header: {
            const size_t take = std::min(header_.size() - headerFill_, bytes.size() - at);
            std::memcpy(header_.data() + headerFill_, bytes.data() + at, take);
            headerFill_ += take;
            at += take;
            if (headerFill_ < header_.size())
                return;
            current_ = Request {};
            current_.length = getU32(header_.data());
            current_.code = getU32(header_.data() + 4);
            if (current_.code == CMD_PASSWORD) {
                const uint32_t declared = current_.length >= 4 ? current_.length - 4 : 0;
                if (declared >= 1 && declared <= kMaxPasswordBytes) {
                    payloadWanted_ = declared;
                } else {
                    payloadWanted_ = 0;
                    current_.passwordOutOfRange = true;
                    if (declared > kMaxPasswordBytes && declared <= kMaxSkippedPasswordBytes) {
                        skipLeft_ = declared;
                        stage_ = Stage::Skip;
                        break;
                    }
                }
            } else {
                payloadWanted_ = fixedRequestPayload(current_.code);
            }
            current_.payload.reserve(payloadWanted_);
            stage_ = Stage::Payload;
            break;
        }
        case Stage::Skip: {
            const size_t take = std::min<size_t>(skipLeft_, bytes.size() - at);
            skipLeft_ -= static_cast<uint32_t>(take);
            at += take;
            if (skipLeft_ > 0)
                return;
            stage_ = Stage::Payload; // completes with an empty payload below
            break;
        }
        case Stage::Payload: {
            const size_t take = std::min(payloadWanted_ - current_.payload.size(), bytes.size() - at);
            current_.payload.insert(current_.payload.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + take));
            at += take;
            break;
        }
        }
        if (stage_ == Stage::Payload && current_.payload.size() == payloadWanted_) {
            out.push_back(std::move(current_));
            current_ = Request {};
            stage_ = Stage::Marker;
        }
    }
    // A request without payload completes with its header even when no byte follows.
    if (stage_ == Stage::Payload && current_.payload.size() == payloadWanted_) {
        out.push_back(std::move(current_));
        current_ = Request {};
        stage_ = Stage::Marker;
    }
}

// ---------------------------------------------------------------------------------------
// MessageParser

void MessageParser::reset()
{
    stage_ = Stage::Marker;
    lengthFill_ = 0;
    length_ = 0;
    body_.clear();
    error_ = MessageParseError::None;
}

MessageParseError MessageParser::feed(std::span<const uint8_t> bytes, std::vector<Message>& out)
{
    size_t at = 0;
    while (error_ == MessageParseError::None && at < bytes.size()) {
        switch (stage_) {
        case Stage::Marker:
            if (bytes[at] != kMarker) {
                error_ = MessageParseError::BadMarker;
                break;
            }
            ++at;
            lengthFill_ = 0;
            stage_ = Stage::Length;
            break;
        case Stage::Length: {
            const size_t take = std::min(lengthBytes_.size() - lengthFill_, bytes.size() - at);
            std::memcpy(lengthBytes_.data() + lengthFill_, bytes.data() + at, take);
            lengthFill_ += take;
            at += take;
            if (lengthFill_ < lengthBytes_.size())
                break;
            length_ = getU32(lengthBytes_.data());
            if (length_ > kMaxViewerMessageLength) {
                error_ = MessageParseError::LengthTooLarge;
                break;
            }
            body_.clear();
            body_.reserve(length_);
            stage_ = Stage::Body;
            break;
        }
        case Stage::Body: {
            const size_t take = std::min<size_t>(length_ - body_.size(), bytes.size() - at);
            body_.insert(body_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + take));
            at += take;
            break;
        }
        }
        if (error_ == MessageParseError::None && stage_ == Stage::Body && body_.size() == length_) {
            if (length_ >= 8) {
                Message message;
                message.code = getU32(body_.data());
                message.time = getU32(body_.data() + 4);
                message.payload.assign(body_.begin() + 8, body_.end());
                out.push_back(std::move(message));
            }
            stage_ = Stage::Marker;
        }
    }
    // A zero-length message is complete with its length field.
    if (error_ == MessageParseError::None && stage_ == Stage::Body && length_ == 0)
        stage_ = Stage::Marker;
    return error_;
}

} // namespace vantry::server
