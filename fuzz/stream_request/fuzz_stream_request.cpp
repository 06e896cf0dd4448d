// Viewer requests come from anyone who can reach the port. The bytes are fed to the server's
// parser whole and again in pieces whose sizes the input chooses; both must give the same
// requests, each with a payload no larger than its code allows. The same bytes also go
// through the viewer's message parser.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "server/stream_protocol.h"

using namespace vantry::server;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t step = static_cast<size_t>(data[0] % 17) + 1;
    const std::span<const uint8_t> bytes(data + 1, size - 1);

    RequestParser whole;
    std::vector<Request> a;
    whole.feed(bytes, a);

    RequestParser pieces;
    std::vector<Request> b;
    for (size_t at = 0; at < bytes.size(); at += step)
        pieces.feed(bytes.subspan(at, std::min(step, bytes.size() - at)), b);

    if (a.size() != b.size())
        std::abort();
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].code != b[i].code || a[i].payload != b[i].payload || a[i].passwordOutOfRange != b[i].passwordOutOfRange)
            std::abort();
        const size_t limit = a[i].code == CMD_PASSWORD ? kMaxPasswordBytes : fixedRequestPayload(a[i].code);
        if (a[i].payload.size() > limit)
            std::abort();
        if (a[i].code == CMD_SET_OPTIONS && !parseStreamOptions(a[i].payload))
            std::abort();
    }

    MessageParser viewer;
    std::vector<Message> messages;
    viewer.feed(bytes, messages);
    for (const Message& m : messages)
        if (m.payload.size() + 8 > kMaxViewerMessageLength)
            std::abort();
    return 0;
}
