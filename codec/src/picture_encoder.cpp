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
    // A residual whose 8x8 SAD is below this quantises to all zero levels (see below).
    int zeroResidualSad;
};

// |F(u,v)| <= SAD / 4 for the orthonormal 8x8 transform (every basis product is at most
// 1/4 in magnitude). An inter level is non-zero only when |c| - D >= 65536 / R, so a block
// with 4 * (that + a margin for the transform's rounding) above its SAD has no levels and
// can skip the transform and quantisation without changing a bit of the output.
int zeroResidualSadBound(const QuantTables& tables) {
    const int reciprocal = tables.reciprocal[0];
    const int smallestLevelOne = tables.deadZone[0] + (65536 + reciprocal - 1) / reciprocal;
    return std::max(0, 4 * (smallestLevelOne - 2));
}

static_assert(kMcbpcIntraCodes[0].mbType == kMbIntra && kMcbpcIntraCodes[3].cbpc == 3,
              "I-picture MCBPC is indexed by the chroma pattern");
static_assert(kMcbpcInterCodes[0].mbType == kMbInter && kMcbpcInterCodes[3].cbpc == 3,
              "P-picture MCBPC of INTER is indexed by the chroma pattern");

// Dequantises a block of levels as the decoder does; intra blocks carry 8 x DC at 0.
void dequantise(const int16_t* levels, int16_t* work, int qp, bool intra) {
    for (int i = 0; i < 64; ++i)
        work[i] = dequantiseLevel(levels[i], qp);
    if (intra)
        work[0] = static_cast<int16_t>(8 * levels[0]);
}

void putCoefficientEvents(PictureContext& pc, const int16_t* levels, int firstPosition) {
    int lastPosition = -1;
    for (int pos = 63; pos >= firstPosition; --pos) {
        if (levels[kZigzag[pos]] != 0) {
            lastPosition = pos;
            break;
        }
    }
    int run = 0;
    for (int pos = firstPosition; pos <= lastPosition; ++pos) {
        const int level = levels[kZigzag[pos]];
        if (level == 0) {
            ++run;
            continue;
        }
        const auto code = pc.codes.code(pos == lastPosition ? 1 : 0, run, level);
        pc.writer.put(code.bits, code.length);
        run = 0;
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
    alignas(64) int16_t samples[64];
    alignas(64) int16_t coefficients[64];
    alignas(64) int16_t levels[6][64];
    int cbp = 0;
    for (int b = 0; b < 6; ++b) {
        const int stride = b < 4 ? pc.input.stride : pc.inputChromaStride;
        pc.k.loadBlock(inputBlock(pc, x0, y0, b), stride, samples);
        pc.k.forwardDct(samples, coefficients);
        levels[b][0] = static_cast<int16_t>(quantiseIntraDc(coefficients[0]));
        if (pc.k.quantiseIntra(coefficients, levels[b], pc.state.quantTables))
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
    for (int b = 0; b < 6; ++b) {
        const int dc = levels[b][0];
        pc.writer.put(dc == 128 ? 0xFF : static_cast<uint32_t>(dc), 8);
        if (cbp & (32 >> b))
            putCoefficientEvents(pc, levels[b], 1);
    }

    if (pc.reconstruct) {
        alignas(64) int16_t work[64];
        for (int b = 0; b < 6; ++b) {
            if (cbp & (32 >> b)) {
                dequantise(levels[b], work, pc.qp, true);
            } else {
                std::fill(work, work + 64, int16_t{0});
                work[0] = static_cast<int16_t>(8 * levels[b][0]);
            }
            pc.dk.idct(work);
            pc.dk.putBlock(reconBlock(pc, x0, y0, b), blockStride(pc, b), work);
        }
    }
}

struct InterPrediction {
    alignas(64) uint8_t samples[6][64];
};

void predictMacroblock(PictureContext& pc, int x0, int y0, MotionVector v, InterPrediction& prediction) {
    const VxFramePlanes& ref = pc.state.reference();
    const int stride = pc.reconStride;
    const uint8_t* luma = ref.y + (y0 + (v.y >> 1)) * stride + x0 + (v.x >> 1);
    const PredictFn lumaPredict = pc.dk.predict8[halfSamplePhase(v.x & 1, v.y & 1)];
    for (int b = 0; b < 4; ++b)
        lumaPredict(prediction.samples[b], 8, luma + 8 * (b >> 1) * stride + 8 * (b & 1), stride);
    const int chromaStride = stride / 2;
    const int offset = (y0 / 2 + chromaOffset(v.y)) * chromaStride + x0 / 2 + chromaOffset(v.x);
    const PredictFn chromaPredict = pc.dk.predict8[halfSamplePhase(chromaPhase(v.x), chromaPhase(v.y))];
    chromaPredict(prediction.samples[4], 8, ref.u + offset, chromaStride);
    chromaPredict(prediction.samples[5], 8, ref.v + offset, chromaStride);
}

void putMvdComponent(BitWriter& writer, int difference) {
    const VlcCode& code = kMvdCodes[std::abs(difference)];
    writer.put(code.bits, code.length);
    if (difference != 0)
        writer.put(difference < 0 ? 1 : 0, 1);
}

// Stores the macroblock's vector: v, or (0,0) when it is not coded.
void encodeInterMacroblock(PictureContext& pc, int x0, int y0, MotionVector v, MotionVector predictor) {
    InterPrediction prediction;
    predictMacroblock(pc, x0, y0, v, prediction);

    alignas(64) int16_t difference[64];
    alignas(64) int16_t coefficients[64];
    alignas(64) int16_t levels[6][64];
    int cbp = 0;
    for (int b = 0; b < 6; ++b) {
        const uint8_t* src = inputBlock(pc, x0, y0, b);
        const int stride = b < 4 ? pc.input.stride : pc.inputChromaStride;
        if (pc.k.sad8(src, stride, prediction.samples[b]) < pc.zeroResidualSad)
            continue;
        pc.k.differenceBlock(src, stride, prediction.samples[b], difference);
        pc.k.forwardDct(difference, coefficients);
        if (pc.k.quantiseInter(coefficients, levels[b], pc.state.quantTables))
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
        for (int b = 0; b < 6; ++b)
            if (cbp & (32 >> b))
                putCoefficientEvents(pc, levels[b], 0);
        stored = v;
    }

    if (pc.reconstruct) {
        alignas(64) int16_t work[64];
        const PredictFn copy = pc.dk.predict8[0];
        for (int b = 0; b < 6; ++b) {
            uint8_t* dst = reconBlock(pc, x0, y0, b);
            copy(dst, blockStride(pc, b), prediction.samples[b], 8);
            if (cbp & (32 >> b)) {
                dequantise(levels[b], work, pc.qp, false);
                pc.dk.idct(work);
                pc.dk.addBlock(dst, blockStride(pc, b), work);
            }
        }
    }
}

void encodePMacroblock(PictureContext& pc, const MotionSearch& search, int column, int row) {
    VxEncoderState& s = pc.state;
    const int x0 = 16 * column;
    const int y0 = 16 * row;
    const MotionVector predictor = predictMotionVector(s.vectors.data(), s.mbColumns, column, row);

    const Displacement best = searchFullSample(search, s.searchMode, x0, y0);
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
    encodeInterMacroblock(pc, x0, y0, v, predictor);
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
