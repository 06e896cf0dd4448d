#include "encoder_kernels.h"

#include "codec/cpu_features.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace vantry::codec::enc {

void buildQuantTables(QuantTables& tables, int quantiser) {
    const int q = std::max(quantiser, 2);
    for (int i = 0; i < 64; ++i) {
        tables.deadZone[i] = static_cast<int16_t>(q / 2);
        tables.reciprocal[i] = static_cast<uint16_t>(65536 / (2 * q));
    }
    tables.quantiser = quantiser;
}

int quantiseIntraDc(int dc) {
    const int level = (8192 * (dc + 4)) >> 16;
    return std::clamp(level, 1, 254);
}

namespace {

// cosineTable[u][j] = c(u) * cos((2j + 1) u pi / 16); filled once, read-only afterwards.
struct CosineTable {
    double value[8][8];
    CosineTable() {
        for (int u = 0; u < 8; ++u) {
            const double scale = u == 0 ? std::sqrt(1.0 / 8.0) : 0.5;
            for (int j = 0; j < 8; ++j)
                value[u][j] = scale * std::cos((2 * j + 1) * u * std::numbers::pi / 16.0);
        }
    }
};

const CosineTable& cosineTable() {
    static const CosineTable table;
    return table;
}

}  // namespace

namespace plain {

void forwardDct(const int16_t* in, int16_t* out) {
    const auto& c = cosineTable().value;
    double rows[64];
    for (int r = 0; r < 8; ++r) {
        for (int u = 0; u < 8; ++u) {
            double sum = 0.0;
            for (int j = 0; j < 8; ++j)
                sum += in[r * 8 + j] * c[u][j];
            rows[r * 8 + u] = sum;
        }
    }
    for (int u = 0; u < 8; ++u) {
        for (int v = 0; v < 8; ++v) {
            double sum = 0.0;
            for (int i = 0; i < 8; ++i)
                sum += rows[i * 8 + u] * c[v][i];
            out[v * 8 + u] = static_cast<int16_t>(std::floor(sum + 0.499999));
        }
    }
}

void forwardDct2(const int16_t* in0, const int16_t* in1, int16_t* out0, int16_t* out1) {
    forwardDct(in0, out0);
    forwardDct(in1, out1);
}

uint64_t quantiseIntra(const int16_t* coef, int16_t* levels, const QuantTables& tables) {
    uint64_t mask = 0;
    for (int i = 1; i < 64; ++i) {
        const int c = coef[i];
        const int magnitude = std::min(127, (std::abs(c) * tables.reciprocal[i]) >> 16);
        levels[i] = static_cast<int16_t>(c < 0 ? -magnitude : magnitude);
        mask |= uint64_t{magnitude != 0} << i;
    }
    return mask;
}

uint64_t quantiseInter(const int16_t* coef, int16_t* levels, const QuantTables& tables) {
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
        const int c = coef[i];
        const int magnitude = std::min(127, (std::abs(std::abs(c) - tables.deadZone[i]) * tables.reciprocal[i]) >> 16);
        levels[i] = static_cast<int16_t>(c < 0 ? -magnitude : magnitude);
        mask |= uint64_t{magnitude != 0} << i;
    }
    return mask;
}

int sad16(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int best) {
    int sum = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            sum += std::abs(cur[x] - ref[x]);
        if (sum > best)
            return sum;
        cur += curStride;
        ref += refStride;
    }
    return sum;
}

int sad16Half(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int hx, int hy, int best) {
    int sum = 0;
    for (int y = 0; y < 16; ++y) {
        const uint8_t* a = ref;
        const uint8_t* c = ref + refStride;
        for (int x = 0; x < 16; ++x) {
            int p;
            if (hx && hy)
                p = (a[x] + a[x + 1] + c[x] + c[x + 1] + 2) >> 2;
            else if (hx)
                p = (a[x] + a[x + 1] + 1) >> 1;
            else if (hy)
                p = (a[x] + c[x] + 1) >> 1;
            else
                p = a[x];
            sum += std::abs(cur[x] - p);
        }
        if (sum > best)
            return sum;
        cur += curStride;
        ref += refStride;
    }
    return sum;
}

int sad8(const uint8_t* cur, int curStride, const uint8_t* pred, int predStride) {
    int sum = 0;
    for (int y = 0; y < 8; ++y, cur += curStride, pred += predStride)
        for (int x = 0; x < 8; ++x)
            sum += std::abs(cur[x] - pred[x]);
    return sum;
}

int activity16(const uint8_t* src, int stride) {
    int total = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            total += src[y * stride + x];
    const int mean = total / 256;
    int activity = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            activity += std::abs(src[y * stride + x] - mean);
    return activity;
}

void loadBlock(const uint8_t* src, int stride, int16_t* out) {
    for (int y = 0; y < 8; ++y, src += stride)
        for (int x = 0; x < 8; ++x)
            out[y * 8 + x] = src[x];
}

void differenceBlock(const uint8_t* src, int stride, const uint8_t* pred, int predStride, int16_t* out) {
    for (int y = 0; y < 8; ++y, src += stride, pred += predStride)
        for (int x = 0; x < 8; ++x)
            out[y * 8 + x] = static_cast<int16_t>(src[x] - pred[x]);
}

}  // namespace plain

EncoderKernels encoderKernelsFor(uint32_t cpuMask) {
    EncoderKernels k{};
    k.forwardDct = plain::forwardDct;
    k.forwardDct2 = plain::forwardDct2;
    k.quantiseIntra = plain::quantiseIntra;
    k.quantiseInter = plain::quantiseInter;
    k.sad16 = plain::sad16;
    k.sad16Half = plain::sad16Half;
    k.sad8 = plain::sad8;
    k.activity16 = plain::activity16;
    k.loadBlock = plain::loadBlock;
    k.differenceBlock = plain::differenceBlock;
#if defined(VX_HAVE_X86)
    if (cpuMask & kCpuSse2)
        installSse2(k);
    if (cpuMask & kCpuAvx2)
        installAvx2(k);
#else
    (void)cpuMask;
#endif
    return k;
}

const EncoderKernels& encoderKernels() {
    static const EncoderKernels kernels = encoderKernelsFor(cpuFeatureMask());
    return kernels;
}

}  // namespace vantry::codec::enc
