#include "platform/endpoint_frame.h"

#include <cstring>

namespace vantry::platform::wire {
namespace {

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t wordAt(const std::uint8_t* bytes, std::size_t index)
{
    const std::uint8_t* p = bytes + index * 4;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool headerIsValid(FrameKind kind, WindowHandle sender, std::uint32_t msg, std::size_t dataLength)
{
    if (sender > kMaxHandle)
        return false;
    switch (kind) {
    case FrameKind::Post:
    case FrameKind::Send:
    case FrameKind::Reply:
        return dataLength == 0;
    case FrameKind::CopyData:
        return msg == kMsgCopyData && dataLength <= kMaxCopyDataBytes;
    }
    return false;
}

bool isKnownKind(std::uint32_t kind)
{
    return kind >= static_cast<std::uint32_t>(FrameKind::Post) && kind <= static_cast<std::uint32_t>(FrameKind::Reply);
}

} // namespace

std::vector<std::uint8_t> encodeFrame(const Frame& frame)
{
    if (!headerIsValid(frame.kind, frame.sender, frame.msg, frame.data.size()))
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderBytes + frame.data.size());
    putWord(out, kFrameMagic);
    putWord(out, static_cast<std::uint32_t>(frame.kind));
    putWord(out, frame.sequence);
    putWord(out, frame.sender);
    putWord(out, frame.msg);
    putWord(out, frame.wParam);
    putWord(out, static_cast<std::uint32_t>(frame.lParam));
    putWord(out, static_cast<std::uint32_t>(frame.data.size()));
    out.insert(out.end(), frame.data.begin(), frame.data.end());
    return out;
}

DecodeStatus decodeFrame(const std::uint8_t* bytes, std::size_t size, Frame& frame, std::size_t& consumed)
{
    consumed = 0;
    // Judge the magic as soon as it can be seen, so garbage is dropped at once.
    const std::size_t magicBytes = size < 4 ? size : 4;
    for (std::size_t i = 0; i < magicBytes; ++i) {
        if (bytes[i] != static_cast<std::uint8_t>(kFrameMagic >> (8 * i)))
            return DecodeStatus::Invalid;
    }
    if (size < kHeaderBytes)
        return DecodeStatus::NeedMore;
    const std::uint32_t kindWord = wordAt(bytes, 1);
    if (!isKnownKind(kindWord))
        return DecodeStatus::Invalid;
    const auto kind = static_cast<FrameKind>(kindWord);
    const WindowHandle sender = wordAt(bytes, 3);
    const std::uint32_t msg = wordAt(bytes, 4);
    const std::size_t dataLength = wordAt(bytes, 7);
    if (!headerIsValid(kind, sender, msg, dataLength))
        return DecodeStatus::Invalid;
    if (size - kHeaderBytes < dataLength)
        return DecodeStatus::NeedMore;
    frame.kind = kind;
    frame.sequence = wordAt(bytes, 2);
    frame.sender = sender;
    frame.msg = msg;
    frame.wParam = wordAt(bytes, 5);
    frame.lParam = static_cast<std::int32_t>(wordAt(bytes, 6));
    frame.data.assign(bytes + kHeaderBytes, bytes + kHeaderBytes + dataLength);
    consumed = kHeaderBytes + dataLength;
    return DecodeStatus::Complete;
}

void FrameAssembler::append(const std::uint8_t* bytes, std::size_t size)
{
    if (invalid_ || size == 0)
        return;
    // Drop what was consumed before growing, so the buffer stays near one frame's size.
    if (start_ > 0 && (start_ == buffer_.size() || start_ > 65536)) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
}

DecodeStatus FrameAssembler::next(Frame& frame)
{
    if (invalid_)
        return DecodeStatus::Invalid;
    std::size_t consumed = 0;
    const DecodeStatus status = decodeFrame(buffer_.data() + start_, buffer_.size() - start_, frame, consumed);
    if (status == DecodeStatus::Invalid) {
        invalid_ = true;
        buffer_.clear();
        start_ = 0;
    } else if (status == DecodeStatus::Complete) {
        start_ += consumed;
        if (start_ == buffer_.size()) {
            buffer_.clear();
            start_ = 0;
        }
    }
    return status;
}

} // namespace vantry::platform::wire
