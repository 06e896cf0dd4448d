// vxcodec: decode raw streams of coded pictures to raw I420 frames, or list them.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/bit_reader.h"
#include "codec/decoder.h"
#include "codec/picture_header.h"
#include "codec/raw_stream.h"
#include "encode_command.h"

using namespace vantry::codec;

namespace {

void printUsage()
{
    std::fprintf(stderr,
                 "usage: vxcodec decode IN.h263 OUT.yuv   decode to raw I420 frames\n"
                 "       vxcodec info IN.h263             one line per picture: index type width height QP bytes\n"
                 "       vxcodec encode ...               encode raw frames\n");
}

bool readWholeFile(const char* path, std::vector<uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vxcodec: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "vxcodec: cannot read %s\n", path);
        return false;
    }
    return true;
}

std::vector<PictureSpan> picturesOf(const char* path, const std::vector<uint8_t>& data)
{
    size_t junk = 0;
    auto pictures = splitRawStream(data.data(), data.size(), &junk);
    if (junk > 0)
        std::fprintf(stderr, "vxcodec: %s: skipped %zu bytes before the first picture\n", path, junk);
    if (pictures.empty())
        std::fprintf(stderr, "vxcodec: %s: no picture found\n", path);
    return pictures;
}

int runDecode(const char* inputPath, const char* outputPath)
{
    std::vector<uint8_t> data;
    if (!readWholeFile(inputPath, data))
        return 1;
    const auto pictures = picturesOf(inputPath, data);
    if (pictures.empty())
        return 1;
    std::FILE* out = std::fopen(outputPath, "wb");
    if (!out) {
        std::fprintf(stderr, "vxcodec: cannot create %s: %s\n", outputPath, std::strerror(errno));
        return 1;
    }
    VxDecoderHandle handle;
    if (vx_decoder_open(&handle) != 0) {
        std::fprintf(stderr, "vxcodec: out of memory\n");
        std::fclose(out);
        return 1;
    }
    size_t failed = 0;
    bool writeError = false;
    for (size_t i = 0; i < pictures.size() && !writeError; ++i) {
        VxFramePlanes* planes = nullptr;
        const size_t length = std::min<size_t>(pictures[i].length, INT32_MAX);
        const int used = vx_decode(&handle, &planes, data.data() + pictures[i].offset, static_cast<int32_t>(length));
        if (used < 0) {
            std::fprintf(stderr, "vxcodec: picture %zu: cannot be decoded, skipped\n", i);
            ++failed;
            continue;
        }
        const int damaged = vx_decoder_damaged_macroblocks(&handle);
        if (damaged > 0)
            std::fprintf(stderr, "vxcodec: picture %zu: %d damaged macroblocks repeated from the previous picture\n",
                         i, damaged);
        const size_t lumaWidth = static_cast<size_t>(handle.width);
        const size_t lumaHeight = static_cast<size_t>(handle.height);
        for (size_t y = 0; y < lumaHeight && !writeError; ++y)
            writeError = std::fwrite(planes->y + y * static_cast<size_t>(planes->stride), 1, lumaWidth, out) != lumaWidth;
        for (uint8_t* plane : {planes->u, planes->v})
            for (size_t y = 0; y < lumaHeight / 2 && !writeError; ++y)
                writeError = std::fwrite(plane + y * static_cast<size_t>(planes->stride / 2), 1, lumaWidth / 2, out) !=
                             lumaWidth / 2;
    }
    vx_decoder_close(&handle);
    if (std::fclose(out) != 0)
        writeError = true;
    if (writeError) {
        std::fprintf(stderr, "vxcodec: cannot write %s\n", outputPath);
        return 1;
    }
    if (failed > 0) {
        std::fprintf(stderr, "vxcodec: %zu of %zu pictures could not be decoded\n", failed, pictures.size());
        return 1;
    }
    return 0;
}

int runInfo(const char* inputPath)
{
    std::vector<uint8_t> data;
    if (!readWholeFile(inputPath, data))
        return 1;
    const auto pictures = picturesOf(inputPath, data);
    if (pictures.empty())
        return 1;
    int32_t width = 0;
    int32_t height = 0;
    size_t failed = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        BitReader reader(data.data() + pictures[i].offset, pictures[i].length);
        PictureHeader header;
        const HeaderStatus status = readPictureHeader(reader, header, width, height);
        if (status != HeaderStatus::Ok) {
            std::fprintf(stderr, "vxcodec: picture %zu: %s\n", i, headerStatusText(status));
            ++failed;
            continue;
        }
        width = header.width;
        height = header.height;
        std::printf("%zu %c %d %d %d %zu\n", i, header.type == PictureType::Intra ? 'I' : 'P', header.width,
                    header.height, header.quantiser, pictures[i].length);
    }
    return failed > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        printUsage();
        return 1;
    }
    const std::string command = argv[1];
    if (command == "encode")
        return runEncodeCommand(argc - 1, argv + 1);
    if (command == "decode" && argc == 4)
        return runDecode(argv[2], argv[3]);
    if (command == "info" && argc == 3)
        return runInfo(argv[2]);
    printUsage();
    return 1;
}
