// vxcodec encode: raw I420 frames in, a raw stream of coded pictures out.
#include "encode_command.h"

#include "codec/frame_planes.h"
#include "codec/vx_encoder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using vantry::codec::VxEncoderParams;
using vantry::codec::VxFramePlanes;

constexpr const char* kUsage =
    "usage: vxcodec encode --size WxH [--qp N] [--gop N] [--search 0|1|2] [--frames N] [--recon RECON.yuv] IN.yuv "
    "OUT.h263\n"
    "  IN.yuv      raw I420 frames of the given size\n"
    "  --qp N      quantiser 1..31 (default 8)\n"
    "  --gop N     key-frame interval; 0 and 1 make every picture an I-picture (default 30)\n"
    "  --search M  motion search: 0 zero vector (default), 1 diamond, 2 full\n"
    "  --frames N  encode at most N frames\n"
    "  --recon F   also write the encoder's reconstruction of every picture as raw I420\n";

struct EncodeOptions {
    int width = 0;
    int height = 0;
    int quantiser = 8;
    int keyFrameInterval = 30;
    int searchMode = 0;
    long long frameLimit = -1;  // all frames
    std::string reconPath;
    std::string inputPath;
    std::string outputPath;
    bool showHelp = false;
};

bool parseInteger(const char* text, long long low, long long high, long long& value) {
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

bool parseSize(const char* text, int& width, int& height) {
    const char* x = std::strchr(text, 'x');
    if (!x)
        return false;
    const std::string w(text, x);
    long long wv = 0, hv = 0;
    if (!parseInteger(w.c_str(), 1, 100000, wv) || !parseInteger(x + 1, 1, 100000, hv))
        return false;
    width = static_cast<int>(wv);
    height = static_cast<int>(hv);
    return true;
}

// Returns an error text, empty when the arguments are good.
std::string parseOptions(int argc, char** argv, EncodeOptions& options) {
    std::vector<std::string> positional;
    // argv[0] is the command's own name.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        long long number = 0;
        if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
            return {};
        } else if (arg == "--size") {
            const char* v = value();
            if (!v || !parseSize(v, options.width, options.height))
                return "--size needs WxH, for example 352x288";
        } else if (arg == "--qp") {
            if (!parseInteger(value(), 1, 31, number))
                return "--qp needs a quantiser from 1 to 31";
            options.quantiser = static_cast<int>(number);
        } else if (arg == "--gop") {
            if (!parseInteger(value(), 0, INT_MAX, number))
                return "--gop needs a key-frame interval of 0 or more";
            options.keyFrameInterval = static_cast<int>(number);
        } else if (arg == "--search") {
            if (!parseInteger(value(), 0, 2, number))
                return "--search needs 0 (zero vector), 1 (diamond) or 2 (full)";
            options.searchMode = static_cast<int>(number);
        } else if (arg == "--frames") {
            if (!parseInteger(value(), 0, LLONG_MAX, number))
                return "--frames needs a number of frames";
            options.frameLimit = number;
        } else if (arg == "--recon") {
            const char* v = value();
            if (!v)
                return "--recon needs a file name";
            options.reconPath = v;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        return "expected IN.yuv and OUT.h263";
    if (options.width == 0)
        return "--size is required";
    if (options.width % 16 != 0 || options.height % 16 != 0 || options.width > vantry::codec::kMaxPictureWidth ||
        options.height > vantry::codec::kMaxPictureHeight)
        return "the size must be multiples of 16, at most 2048x2032";
    options.inputPath = positional[0];
    options.outputPath = positional[1];
    return {};
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeAll(std::FILE* f, const uint8_t* data, size_t size) { return std::fwrite(data, 1, size, f) == size; }

bool writeReconstruction(std::FILE* f, const VxFramePlanes& planes, int width, int height) {
    for (int y = 0; y < height; ++y)
        if (!writeAll(f, planes.y + static_cast<size_t>(y) * planes.stride, width))
            return false;
    const int chromaStride = planes.stride / 2;
    for (const uint8_t* plane : {planes.u, planes.v})
        for (int y = 0; y < height / 2; ++y)
            if (!writeAll(f, plane + static_cast<size_t>(y) * chromaStride, width / 2))
                return false;
    return true;
}

struct EncoderGuard {
    VxEncoderParams* params;
    ~EncoderGuard() { vantry::codec::vx_encoder_close(params); }
};

}  // namespace

int runEncodeCommand(int argc, char** argv) {
    EncodeOptions options;
    const std::string error = parseOptions(argc, argv, options);
    if (error.empty() && options.showHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "vxcodec encode: %s\n%s", error.c_str(), kUsage);
        return 1;
    }

    File input(std::fopen(options.inputPath.c_str(), "rb"));
    if (!input) {
        std::fprintf(stderr, "vxcodec encode: cannot open %s: %s\n", options.inputPath.c_str(), std::strerror(errno));
        return 1;
    }
    File output(std::fopen(options.outputPath.c_str(), "wb"));
    if (!output) {
        std::fprintf(stderr, "vxcodec encode: cannot create %s: %s\n", options.outputPath.c_str(), std::strerror(errno));
        return 1;
    }
    File recon;
    if (!options.reconPath.empty()) {
        recon.reset(std::fopen(options.reconPath.c_str(), "wb"));
        if (!recon) {
            std::fprintf(stderr, "vxcodec encode: cannot create %s: %s\n", options.reconPath.c_str(), std::strerror(errno));
            return 1;
        }
    }

    VxEncoderParams params{};
    params.width = options.width;
    params.height = options.height;
    params.quantiser = options.quantiser;
    params.keyFrameInterval = options.keyFrameInterval;
    params.searchMode = options.searchMode;
    if (vantry::codec::vx_encoder_open(&params) != 0) {
        std::fprintf(stderr, "vxcodec encode: cannot open the encoder for %dx%d\n", options.width, options.height);
        return 1;
    }
    EncoderGuard guard{&params};
    if (recon)
        vantry::codec::vx_encoder_set_full_reconstruction(&params, true);

    const size_t lumaBytes = static_cast<size_t>(options.width) * options.height;
    const size_t frameBytes = lumaBytes * 3 / 2;
    std::vector<uint8_t> frame(frameBytes);
    // Room for the largest picture the format allows, so that the chosen quantiser holds.
    std::vector<uint8_t> coded(lumaBytes * 5);

    long long count = 0;
    while (options.frameLimit < 0 || count < options.frameLimit) {
        const size_t got = std::fread(frame.data(), 1, frameBytes, input.get());
        if (got == 0)
            break;
        if (got < frameBytes) {
            std::fprintf(stderr, "vxcodec encode: %s ends inside frame %lld (%zu of %zu bytes)\n",
                         options.inputPath.c_str(), count, got, frameBytes);
            return 1;
        }
        VxFramePlanes planes;
        planes.y = frame.data();
        planes.u = frame.data() + lumaBytes;
        planes.v = planes.u + lumaBytes / 4;
        planes.stride = options.width;
        const int length = vantry::codec::vx_encode(&params, &planes, coded.data(), coded.size());
        if (length <= 0) {
            std::fprintf(stderr, "vxcodec encode: frame %lld could not be encoded\n", count);
            return 1;
        }
        if (!writeAll(output.get(), coded.data(), static_cast<size_t>(length))) {
            std::fprintf(stderr, "vxcodec encode: cannot write %s: %s\n", options.outputPath.c_str(), std::strerror(errno));
            return 1;
        }
        if (recon) {
            const VxFramePlanes* r = vantry::codec::vx_encoder_reconstruction(&params);
            if (!r || !writeReconstruction(recon.get(), *r, options.width, options.height)) {
                std::fprintf(stderr, "vxcodec encode: cannot write %s\n", options.reconPath.c_str());
                return 1;
            }
        }
        ++count;
    }
    if (std::ferror(input.get())) {
        std::fprintf(stderr, "vxcodec encode: cannot read %s: %s\n", options.inputPath.c_str(), std::strerror(errno));
        return 1;
    }
    if (count == 0) {
        std::fprintf(stderr, "vxcodec encode: %s holds no complete %dx%d frame\n", options.inputPath.c_str(),
                     options.width, options.height);
        return 1;
    }
    if (std::fflush(output.get()) != 0 || (recon && std::fflush(recon.get()) != 0)) {
        std::fprintf(stderr, "vxcodec encode: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "vxcodec encode: %lld pictures written to %s\n", count, options.outputPath.c_str());
    return 0;
}
