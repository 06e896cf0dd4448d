// What the viewer spends per received picture: the receive thread's handling (parse, decode,
// copy into the picture buffer) and the window's conversion to RGB for drawing, at the sizes
// a station streams.
#include "codec/vx_encoder.h"
#include "server/stream_protocol.h"
#include "viewer/remote_link.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace vantry;

namespace {

struct Stream {
    std::vector<uint8_t> bytes; // framed messages: the format, then the pictures
    int pictures = 0;
};

Stream makeStream(int width, int height, int count)
{
    Stream stream;
    server::appendMessage(stream.bytes, server::MSG_VIDEO_FORMAT, 0, server::encodeVideoFormat(server::makeVx01Format(width, height)));
    codec::VxEncoderParams params;
    params.width = width;
    params.height = height;
    params.quantiser = 6;
    params.keyFrameInterval = 30;
    params.searchMode = codec::kVxSearchDiamond;
    codec::vx_encoder_open(&params);
    std::vector<uint8_t> planes(static_cast<size_t>(width) * height * 3 / 2, 128);
    std::vector<uint8_t> output(static_cast<size_t>(width) * height * 2);
    for (int n = 0; n < count; ++n) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                planes[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>((x * 3 + y + n * 5) & 0xFF);
        codec::VxFramePlanes in { planes.data(), planes.data() + width * height, planes.data() + width * height * 5 / 4, width };
        const int bytes = codec::vx_encode(&params, &in, output.data(), output.size());
        server::appendMessage(stream.bytes, params.keyFlag ? server::MSG_KEY_FRAME : server::MSG_DELTA_FRAME,
                              static_cast<uint32_t>(n), std::span<const uint8_t>(output.data(), static_cast<size_t>(bytes)));
    }
    codec::vx_encoder_close(&params);
    stream.pictures = count;
    return stream;
}

void BM_ReceivePictures(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = width * 3 / 4;
    const Stream stream = makeStream(width, height, 30);
    for (auto _ : state) {
        viewer::RemoteLink link;
        server::MessageParser parser;
        std::vector<server::Message> messages;
        parser.feed(stream.bytes, messages);
        for (const auto& message : messages)
            link.handleMessage(message);
        benchmark::DoNotOptimize(link.framesDecoded());
    }
    state.SetItemsProcessed(state.iterations() * stream.pictures);
}
BENCHMARK(BM_ReceivePictures)->Arg(320)->Arg(640)->Arg(1280)->Unit(benchmark::kMillisecond);

void BM_PictureForDrawing(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const Stream stream = makeStream(width, width * 3 / 4, 1);
    viewer::RemoteLink link;
    server::MessageParser parser;
    std::vector<server::Message> messages;
    parser.feed(stream.bytes, messages);
    for (const auto& message : messages)
        link.handleMessage(message);
    viewer::Picture picture;
    for (auto _ : state) {
        link.picture(picture);
        benchmark::DoNotOptimize(picture.bgr.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PictureForDrawing)->Arg(320)->Arg(640)->Arg(1280)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
