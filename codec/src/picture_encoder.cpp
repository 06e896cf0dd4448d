// Coding of one picture: the macroblock decisions and the macroblock, block and coefficient
// layers, with the reconstruction that the next P-picture predicts from.
#include "encoder_state.h"

#include "codec/kernels.h"
#include "codec/motion_compensation.h"
#include "codec/picture_header.h"
#include "codec/scan.h"
#include "codec/vlc_tables.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vantry::codec::enc {
namespace {

// Everything one macroblock needs, set up per picture attempt.
struct PictureContext {
    VxEncoderState& state;
    const VxFramePlanes& input;
    BitWriter& writer;
    const EncoderKernels& k;
    const CodecKernels& dk;  // the decoder's prediction and reconstruction
    const CoefficientCodeTable& codes;
    int qp;
    bool reconstruct;
    bool inter;            // P-picture
    int inputChromaStride;
    int reconStride;       // luma stride of the reconstruction buffers
    // A residual whose 8x8 SAD is below this quantises to all zero levels.
    int zeroResidualSad;
};

static_assert(kMcbpcIntraCodes[0].mbType == kMbIntra && kMcbpcIntraCodes[3].cbpc == 3,
              "I-picture MCBPC is indexed by the chroma pattern");
static_assert(kMcbpcInterCodes[0].mbType == kMbInter && kMcbpcInterCodes[3].cbpc == 3,
              "P-picture MCBPC of INTER is indexed by the chroma pattern");

// Turns a mask of non-zero coefficients in row-major order into the same mask in scan
// order, a byte of the row-major mask at a time.
struct ScanOrderMasks {
    uint64_t bits[8][256] = {};
    constexpr ScanOrderMasks() {
        int scanPosition[64] = {};
        for (int pos = 0; pos < 64; ++pos)
            scanPosition[kZigzag[pos]] = pos;
        for (int byte = 0; byte < 8; ++byte)
            for (int value = 0; value < 256; ++value) {
                uint64_t mask = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (value & (1 << bit))
                        mask |= uint64_t{1} << scanPosition[8 * byte + bit];
                bits[byte][value] = mask;
            }
    }
    constexpr uint64_t toScanOrder(uint64_t rowMajor) const {
        uint64_t mask = 0;
        for (int byte = 0; byte < 8; ++byte)
            mask |= bits[byte][(rowMajor >> (8 * byte)) & 0xFF];
        return mask;
    }
};

constexpr ScanOrderMasks kScanOrderMasks;

// Writes the coefficient events of a block from its non-zero levels (row-major mask, the
// intra DC excluded) in scan order, and, when dequantised is given (zero-filled by the
// caller), stores each level dequantised as the decoder will, so that the reconstruction
// visits only the non-zero coefficients.
void putCoefficientEvents(PictureContext& pc, const int16_t* levels, uint64_t nonZero, int firstPosition,
                          int16_t* dequantised) {
    uint64_t mask = kScanOrderMasks.toScanOrder(nonZero);
    int previous = firstPosition - 1;
    while (mask) {
        const int pos = __builtin_ctzll(mask);
        mask &= mask - 1;
        const int index = kZigzag[pos];
        const int level = levels[index];
        const auto code = pc.codes.code(mask == 0 ? 1 : 0, pos - previous - 1, level);
        pc.writer.put(code.bits, code.length);
        previous = pos;
        if (dequantised)
            dequantised[index] = dequantiseLevel(level, pc.qp);
    }
}

uint8_t* lumaBlock(const VxFramePlanes& planes, int stride, int x0, int y0, int block) {
    return planes.y + (y0 + 8 * (block >> 1)) * stride + x0 + 8 * (block & 1);
}

uint8_t* chromaBlock(const VxFramePlanes& planes, int chromaStride, int x0, int y0, int block) {
    uint8_t* plane = block == 4 ? planes.u : planes.v;
    return plane + (y0 / 2) * chromaStride + x0 / 2;
}

const uint8_t* inputBlock(const PictureContext& pc, int x0, int y0, int block) {
    return block < 4 ? lumaBlock(pc.input, pc.input.stride, x0, y0, block)
                     : chromaBlock(pc.input, pc.inputChromaStride, x0, y0, block);
}

uint8_t* reconBlock(PictureContext& pc, int x0, int y0, int block) {
    return block < 4 ? lumaBlock(pc.state.current(), pc.reconStride, x0, y0, block)
                     : chromaBlock(pc.state.current(), pc.reconStride / 2, x0, y0, block);
}

int blockStride(const PictureContext& pc, int block) { return block < 4 ? pc.reconStride : pc.reconStride / 2; }

void encodeIntraMacroblock(PictureContext& pc, int x0, int y0) {
    alignas(64) int16_t samples[6][64];
    alignas(64) int16_t coefficients[6][64];
    alignas(64) int16_t levels[6][64];
    for (int b = 0; b < 6; ++b)
        pc.k.loadBlock(inputBlock(pc, x0, y0, b), b < 4 ? pc.input.stride : pc.inputChromaStride, samples[b]);
    for (int b = 0; b < 6; b += 2)
        pc.k.forwardDct2(samples[b], samples[b + 1], coefficients[b], coefficients[b + 1]);
    int cbp = 0;
    uint64_t nonZero[6];
    for (int b = 0; b < 6; ++b) {
        levels[b][0] = static_cast<int16_t>(quantiseIntraDc(coefficients[b][0]));
        nonZero[b] = pc.k.quantiseIntra(coefficients[b], levels[b], pc.state.quantTables);
        if (nonZero[b])
            cbp |= 32 >> b;
    }

    const int cbpc = cbp & 3;
    if (pc.inter) {
        pc.writer.put(0, 1);  // COD
        for (const McbpcCode& c : kMcbpcInterCodes)
            if (c.mbType == kMbIntra && c.cbpc == cbpc)
                pc.writer.put(c.bits, c.length);
    } else {
        const McbpcCode& c = kMcbpcIntraCodes[cbpc];  // INTRA entries come first, by pattern
        pc.writer.put(c.bits, c.length);
    }
    const VlcCode& cbpy = kCbpyCodes[cbp >> 2];
    pc.writer.put(cbpy.bits, cbpy.length);
    alignas(64) int16_t work[6][64];
    if (pc.reconstruct)
        std::memset(work, 0, sizeof work);
    for (int b = 0; b < 6; ++b) {
        const int dc = levels[b][0];
        pc.writer.put(dc == 128 ? 0xFF : static_cast<uint32_t>(dc), 8);
        if (cbp & (32 >> b))
            putCoefficientEvents(pc, levels[b], nonZero[b], 1, pc.reconstruct ? work[b] : nullptr);
    }

    if (pc.reconstruct) {
        for (int b = 0; b < 6; ++b) {
            work[b][0] = static_cast<int16_t>(8 * levels[b][0]);
            pc.dk.idct(work[b]);
            pc.dk.putBlock(reconBlock(pc, x0, y0, b), blockStride(pc, b), work[b]);
        }
    }
}

// Where the prediction of each block lives: straight in the current reconstruction when the
// picture is reconstructed (as a decoder builds it, so that adding the residual completes the
// block), else in a scratch area.
struct InterPrediction {
    alignas(64) uint8_t scratch[6][64];
    uint8_t* block[6];
    int stride[6];
};

void predictMacroblock(PictureContext& pc, int x0, int y0, MotionVector v, InterPrediction& prediction) {
    for (int b = 0; b < 6; ++b) {
        if (pc.reconstruct) {
            prediction.block[b] = reconBlock(pc, x0, y0, b);
            prediction.stride[b] = blockStride(pc, b);
        } else {
            prediction.block[b] = prediction.scratch[b];
            prediction.stride[b] = 8;
        }
    }
    const VxFramePlanes& ref = pc.state.reference();
    const int stride = pc.reconStride;
    const uint8_t* luma = ref.y + (y0 + (v.y >> 1)) * stride + x0 + (v.x >> 1);
    const PredictFn lumaPredict = pc.dk.predict8[halfSamplePhase(v.x & 1, v.y & 1)];
    for (int b = 0; b < 4; ++b)
        lumaPredict(prediction.block[b], prediction.stride[b], luma + 8 * (b >> 1) * stride + 8 * (b & 1), stride);
    const int chromaStride = stride / 2;
    const int offset = (y0 / 2 + chromaOffset(v.y)) * chromaStride + x0 / 2 + chromaOffset(v.x);
    const PredictFn chromaPredict = pc.dk.predict8[halfSamplePhase(chromaPhase(v.x), chromaPhase(v.y))];
    chromaPredict(prediction.block[4], prediction.stride[4], ref.u + offset, chromaStride);
    chromaPredict(prediction.block[5], prediction.stride[5], ref.v + offset, chromaStride);
}

void putMvdComponent(BitWriter& writer, int difference) {
    const VlcCode& code = kMvdCodes[std::abs(difference)];
    writer.put(code.bits, code.length);
    if (difference != 0)
        writer.put(difference < 0 ? 1 : 0, 1);
}

// Stores the macroblock's vector: v, or (0,0) when it is not coded.
// lumaSads, when given, are the SADs of the four luma blocks against this prediction.
void encodeInterMacroblock(PictureContext& pc, int x0, int y0, MotionVector v, MotionVector predictor,
                           const int* lumaSads) {
    InterPrediction prediction;
    predictMacroblock(pc, x0, y0, v, prediction);

    alignas(64) int16_t difference[6][64];
    alignas(64) int16_t coefficients[6][64];
    alignas(64) int16_t levels[6][64];
    alignas(64) int16_t work[6][64];
    // Blocks whose residual cannot give a level skip the transform; the others are
    // transformed two at a time.
    int transformed[6];
    int count = 0;
    for (int b = 0; b < 6; ++b) {
        const uint8_t* src = inputBlock(pc, x0, y0, b);
        const int stride = b < 4 ? pc.input.stride : pc.inputChromaStride;
        const int sad = b < 4 && lumaSads ? lumaSads[b] : pc.k.sad8(src, stride, prediction.block[b], prediction.stride[b]);
        if (sad < pc.zeroResidualSad)
            continue;
        pc.k.differenceBlock(src, stride, prediction.block[b], prediction.stride[b], difference[b]);
        transformed[count++] = b;
    }
    for (int i = 0; i + 1 < count; i += 2)
        pc.k.forwardDct2(difference[transformed[i]], difference[transformed[i + 1]], coefficients[transformed[i]],
                         coefficients[transformed[i + 1]]);
    if (count & 1)
        pc.k.forwardDct(difference[transformed[count - 1]], coefficients[transformed[count - 1]]);
    int cbp = 0;
    uint64_t nonZero[6] = {};
    for (int i = 0; i < count; ++i) {
        const int b = transformed[i];
        nonZero[b] = pc.k.quantiseInter(coefficients[b], levels[b], pc.state.quantTables);
        if (nonZero[b])
            cbp |= 32 >> b;
    }

    MotionVector& stored = pc.state.vectors[(y0 / 16) * pc.state.mbColumns + x0 / 16];
    if (v == MotionVector{} && cbp == 0) {
        pc.writer.put(1, 1);  // COD: not coded
        stored = MotionVector{};
    } else {
        pc.writer.put(0, 1);
        const McbpcCode& mcbpc = kMcbpcInterCodes[cbp & 3];  // INTER entries come first, by pattern
        pc.writer.put(mcbpc.bits, mcbpc.length);
        const VlcCode& cbpy = kCbpyCodes[15 - (cbp >> 2)];
        pc.writer.put(cbpy.bits, cbpy.length);
        putMvdComponent(pc.writer, v.x - predictor.x);
        putMvdComponent(pc.writer, v.y - predictor.y);
        for (int b = 0; b < 6; ++b) {
            if (cbp & (32 >> b)) {
                if (pc.reconstruct)
                    std::memset(work[b], 0, sizeof work[b]);
                putCoefficientEvents(pc, levels[b], nonZero[b], 0, pc.reconstruct ? work[b] : nullptr);
            }
        }
        stored = v;
    }

    // The prediction is already in place; coded blocks add their residual.
    if (pc.reconstruct) {
        for (int b = 0; b < 6; ++b) {
            if (cbp & (32 >> b)) {
                pc.dk.idct(work[b]);
                pc.dk.addBlock(prediction.block[b], prediction.stride[b], work[b]);
            }
        }
    }
}

void encodePMacroblock(PictureContext& pc, const MotionSearch& search, int column, int row) {
    VxEncoderState& s = pc.state;
    const int x0 = 16 * column;
    const int y0 = 16 * row;
    const MotionVector predictor = predictMotionVector(s.vectors.data(), s.mbColumns, column, row);

    // Without a search the macroblock's SAD is the sum of its blocks' SADs, which the
    // transform-skip test needs anyway.
    int lumaSads[4];
    Displacement best;
    if (s.searchMode == SearchMode::Zero) {
        const uint8_t* ref = s.reference().y + y0 * pc.reconStride + x0;
        for (int b = 0; b < 4; ++b) {
            const int offset = 8 * (b >> 1), column8 = 8 * (b & 1);
            lumaSads[b] = pc.k.sad8(pc.input.y + (y0 + offset) * pc.input.stride + x0 + column8, pc.input.stride,
                                    ref + offset * pc.reconStride + column8, pc.reconStride);
            best.sad += lumaSads[b];
        }
    } else {
        best = searchFullSample(search, s.searchMode, x0, y0);
    }
    const int activity = pc.k.activity16(pc.input.y + y0 * pc.input.stride + x0, pc.input.stride);
    if (preferIntra(best.sad, activity)) {
        encodeIntraMacroblock(pc, x0, y0);
        s.vectors[row * s.mbColumns + column] = MotionVector{};
        return;
    }
    MotionVector v{};
    if (s.searchMode != SearchMode::Zero) {
        const HalfSampleVector half = refineHalfSample(search, x0, y0, best);
        v = MotionVector{static_cast<int16_t>(half.x), static_cast<int16_t>(half.y)};
    }
    encodeInterMacroblock(pc, x0, y0, v, predictor, s.searchMode == SearchMode::Zero ? lumaSads : nullptr);
}

}  // namespace

size_t worstCasePictureBytes(int width, int height) {
    // Header (at most 90 bits) plus per macroblock COD, MCBPC, CBPY, two MVDs and six blocks
    // of an INTRADC and 64 escaped events: well below 1100 bytes.
    const size_t macroblocks = static_cast<size_t>(width / 16) * static_cast<size_t>(height / 16);
    return 16 + macroblocks * 1100;
}

bool encodePicture(VxEncoderState& s, const VxFramePlanes& input, BitWriter& writer, int qp, bool reconstruct) {
    PictureHeader header;
    header.width = s.width;
    header.height = s.height;
    header.type = s.pictureType;
    header.quantiser = qp;
    header.temporalReference = s.counter & 0xFF;
    if (!writePictureHeader(writer, header))
        return false;

    if (s.quantTables.quantiser != qp)
        buildQuantTables(s.quantTables, qp);

    PictureContext pc{s, input, writer, *s.kernels, codecKernels(), *s.codes, qp, reconstruct, s.pictureType == PictureType::Inter,
                      input.stride / 2, s.width, zeroResidualSadBound(s.quantTables)};

    MotionSearch search;
    search.kernels = s.kernels;
    search.input = input.y;
    search.inputStride = input.stride;
    search.reference = s.reference().y;
    search.referenceStride = s.width;
    search.width = s.width;
    search.height = s.height;

    for (int row = 0; row < s.mbRows; ++row) {
        for (int column = 0; column < s.mbColumns; ++column) {
            if (pc.inter) {
                encodePMacroblock(pc, search, column, row);
            } else {
                encodeIntraMacroblock(pc, 16 * column, 16 * row);
                s.vectors[row * s.mbColumns + column] = MotionVector{};
            }
        }
        if (writer.overflowed())
            return false;
    }
    return !writer.overflowed();
}

}  // namespace vantry::codec::enc
