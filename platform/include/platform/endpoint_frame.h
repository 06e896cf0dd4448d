// The byte format of messages between program endpoints, kept apart from the sockets so that
// it can be checked on its own and fed hostile input. Every frame is a 32-byte header of
// eight little-endian 32-bit words (magic, kind, sequence, sender, msg, wParam, lParam,
// data length) followed by the data (copy-data only).
#pragma once

#include "platform/messages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantry::platform::wire {

inline constexpr std::uint32_t kFrameMagic = 0x314D5956; // "VYM1"
inline constexpr std::size_t kHeaderBytes = 32;
// Copy-data carries link packets and short texts; anything near this bound is a fault.
inline constexpr std::size_t kMaxCopyDataBytes = 4u * 1024u * 1024u;
inline constexpr WindowHandle kMaxHandle = 0x7FFFFFFF;

enum class FrameKind : std::uint32_t {
    Post = 1,     // posted message; no answer
    Send = 2,     // sent message; answered by Reply with the same sequence
    CopyData = 3, // sent copy-data (msg = kMsgCopyData, wParam = data type word); answered by Reply
    Reply = 4     // the handler's result in lParam
};

struct Frame {
    FrameKind kind = FrameKind::Post;
    std::uint32_t sequence = 0;
    WindowHandle sender = kNoWindow;
    std::uint32_t msg = 0;
    std::uint32_t wParam = 0;
    std::int32_t lParam = 0;
    std::vector<std::uint8_t> data;
};

// The encoded bytes of a frame; empty when the frame breaks the rules below (so it is never
// sent).
std::vector<std::uint8_t> encodeFrame(const Frame& frame);

enum class DecodeStatus {
    Complete, // one frame decoded
    NeedMore, // a valid beginning; more bytes are needed
    Invalid   // not a frame of ours: the connection must be dropped
};

// Decodes the frame at the start of `bytes`. On Complete, `frame` holds it and `consumed` its
// size. Rules: the magic; a known kind; a sender of at most kMaxHandle; no data except for
// copy-data, whose msg is kMsgCopyData and whose data is at most kMaxCopyDataBytes. The
// header alone decides Invalid, so a hostile length is refused before anything is buffered.
DecodeStatus decodeFrame(const std::uint8_t* bytes, std::size_t size, Frame& frame, std::size_t& consumed);

// Collects a byte stream and cuts it into frames. Once Invalid, it stays Invalid.
class FrameAssembler {
public:
    void append(const std::uint8_t* bytes, std::size_t size);
    DecodeStatus next(Frame& frame);
    std::size_t bufferedBytes() const { return buffer_.size() - start_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    bool invalid_ = false;
};

} // namespace vantry::platform::wire
