// What a stream server sends reaches the viewer's parser and message handling: bytes are
// framed by the parser exactly as the receive thread frames them (in pieces whose sizes the
// input chooses) and every complete message goes through the link's handling, decoding
// included. The link has no socket, so its requests go nowhere.
#include "server/stream_protocol.h"
#include "viewer/remote_link.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the piece size, so that split messages are covered as well.
    const size_t piece = 1 + data[0] % 64;
    const std::span<const uint8_t> bytes(data + 1, size - 1);

    // A fresh link per input: one connection's state (its one stream format) per input.
    viewer::RemoteLink link;
    server::MessageParser parser;
    std::vector<server::Message> messages;
    for (size_t offset = 0; offset < bytes.size(); offset += piece) {
        messages.clear();
        const auto error = parser.feed(bytes.subspan(offset, std::min(piece, bytes.size() - offset)), messages);
        for (const server::Message& message : messages) {
            if (message.payload.size() > server::kMaxViewerMessageLength)
                std::abort();
            if (!link.handleMessage(message))
                break;
        }
        if (error != server::MessageParseError::None)
            break;
    }
    viewer::Picture picture;
    if (link.picture(picture) && picture.bgr.size() != static_cast<size_t>(picture.width) * picture.height * 3)
        std::abort();
    return 0;
}
