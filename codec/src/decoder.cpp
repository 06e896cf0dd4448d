#include "codec/decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "codec/bit_reader.h"
#include "codec/kernels.h"
#include "codec/motion_compensation.h"
#include "codec/motion_vector.h"
#include "codec/picture_header.h"
#include "codec/scan.h"
#include "codec/vlc_lookup.h"

namespace vantry::codec {
namespace {

constexpr size_t kAlignment = 64;

struct alignas(64) DecoderState {
    alignas(64) int16_t blocks[6][64];
    int32_t width = 0;
    int32_t height = 0;
    int32_t mbColumns = 0;
    int32_t mbRows = 0;
    PictureType type = PictureType::Intra;
    int32_t qp = 0;
    uint8_t* buffers[2] = {nullptr, nullptr};
    VxFramePlanes planes[2];
    int current = 0; // index of the picture being decoded; the other is the reference
    MotionVector* vectors = nullptr;
    int32_t damagedMacroblocks = 0;
    uint32_t picturesDecoded = 0;
    const CodecKernels* kernels = nullptr;
};

DecoderState* stateOf(const VxDecoderHandle* handle)
{
    return handle ? static_cast<DecoderState*>(handle->state) : nullptr;
}

void* alignedAllocate(size_t bytes)
{
    const size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    return std::aligned_alloc(kAlignment, rounded == 0 ? kAlignment : rounded);
}

void freeBuffers(DecoderState& s)
{
    std::free(s.vectors);
    std::free(s.buffers[1]);
    std::free(s.buffers[0]);
    s.vectors = nullptr;
    s.buffers[0] = s.buffers[1] = nullptr;
    s.planes[0] = s.planes[1] = VxFramePlanes{};
    s.width = s.height = s.mbColumns = s.mbRows = 0;
}

// Allocates both pictures and the vector array for a size. New pictures start black, so
// that a P-picture arriving before any I-picture predicts from a defined picture.
bool allocateBuffers(DecoderState& s, int32_t width, int32_t height)
{
    const size_t lumaBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t pictureBytes = lumaBytes * 3 / 2;
    const int32_t columns = width / 16;
    const int32_t rows = height / 16;
    s.buffers[0] = static_cast<uint8_t*>(alignedAllocate(pictureBytes));
    s.buffers[1] = static_cast<uint8_t*>(alignedAllocate(pictureBytes));
    s.vectors = static_cast<MotionVector*>(
        alignedAllocate(sizeof(MotionVector) * static_cast<size_t>(columns) * static_cast<size_t>(rows)));
    if (!s.buffers[0] || !s.buffers[1] || !s.vectors) {
        freeBuffers(s);
        return false;
    }
    std::uninitialized_fill_n(s.vectors, static_cast<size_t>(columns) * static_cast<size_t>(rows), MotionVector{});
    for (int i = 0; i < 2; ++i) {
        std::memset(s.buffers[i], 16, lumaBytes);
        std::memset(s.buffers[i] + lumaBytes, 128, lumaBytes / 2);
        s.planes[i] = VxFramePlanes{s.buffers[i], s.buffers[i] + lumaBytes, s.buffers[i] + lumaBytes + lumaBytes / 4,
                                    width};
    }
    s.width = width;
    s.height = height;
    s.mbColumns = columns;
    s.mbRows = rows;
    return true;
}

// Decodes one picture's macroblocks into the current buffer.
class MacroblockDecoder {
public:
    MacroblockDecoder(DecoderState& s, BitReader& reader)
        : s_(s), reader_(reader), k_(*s.kernels), cur_(s.planes[s.current]), ref_(s.planes[1 - s.current]),
          lumaStride_(s.width), chromaStride_(s.width / 2)
    {
    }

    void decodePicture()
    {
        const int32_t total = s_.mbColumns * s_.mbRows;
        for (int32_t index = 0; index < total; ++index) {
            const int column = index % s_.mbColumns;
            const int row = index / s_.mbColumns;
            s_.vectors[index] = MotionVector{};
            const bool ok = s_.type == PictureType::Intra ? decodeIntraMacroblock(column, row)
                                                          : decodeInterPictureMacroblock(column, row, index);
            // Bits past the end of the data read as zeros; a macroblock that needed
            // them is as damaged as one with an invalid code.
            if (!ok || reader_.exhausted()) {
                concealFrom(index);
                return;
            }
        }
    }

private:
    bool applyDquant()
    {
        s_.qp = std::clamp(s_.qp + kDquantChange[reader_.read(2)], 1, 31);
        return true;
    }

    // Reads coefficient events from scan position start into block, dequantised.
    // Returns the number of events read, or -1 for damage.
    int readCoefficients(int16_t* block, int start)
    {
        // Dequantisation as 2 * QP * L + sign(L) * (QP, or QP - 1 for even QP): the
        // (QP * (2|L| + 1) - 1) | 1 rule without its branches.
        const int twiceQp = 2 * s_.qp;
        const int offset = s_.qp - 1 + (s_.qp & 1);
        int position = start;
        for (int events = 1;; ++events) {
            // One look at the stream serves the whole event: ESCAPE with its fields is
            // 22 bits, the longest other code with its sign 13.
            const uint32_t bits = reader_.show(24);
            int last = 0;
            int run = 0;
            int level = 0;
            if ((bits >> 17) == kTcoefEscape.bits) {
                last = static_cast<int>((bits >> 16) & 1);
                run = static_cast<int>((bits >> 10) & 63);
                level = static_cast<int8_t>((bits >> 2) & 0xff);
                reader_.skip(kTcoefEscape.length + 15);
            } else {
                const TcoefEntry entry = kTcoefLookup[bits >> (24 - kTcoefLookupBits)];
                if (entry.level == 0)
                    return -1;
                last = entry.last;
                run = entry.run;
                level = ((bits >> (23 - entry.length)) & 1) ? -entry.level : entry.level;
                reader_.skip(entry.length + 1);
            }
            position += run;
            if (position > 63)
                return -1; // a run past the end of the block
            const int sign = level >> 31; // 0 or -1
            const int value = level == 0 ? 0 : twiceQp * level + ((offset ^ sign) - sign);
            block[kZigzag[static_cast<size_t>(position)]] = static_cast<int16_t>(value);
            ++position;
            if (last)
                return events;
            if (position > 63)
                return -1; // the block is full but no event said it was the last
        }
    }

    // What the inverse transform makes of a block with only its DC coefficient: the row
    // pass keeps 8 * DC to 16 bits, the column pass rounds it down by 64 and clips.
    static int dcOnlyResidual(int16_t dc)
    {
        const auto row = static_cast<int16_t>(dc * 8);
        return std::clamp((row + 32) >> 6, -256, 255);
    }

    static void addFlat(uint8_t* dst, ptrdiff_t stride, int residual)
    {
        for (int y = 0; y < 8; ++y, dst += stride)
            for (int x = 0; x < 8; ++x)
                dst[x] = static_cast<uint8_t>(std::clamp(dst[x] + residual, 0, 255));
    }

    uint8_t* lumaBlock(const VxFramePlanes& p, int column, int row, int block) const
    {
        return p.y + static_cast<ptrdiff_t>(16 * row + 8 * (block >> 1)) * lumaStride_ + 16 * column + 8 * (block & 1);
    }
    uint8_t* chromaBlock(const VxFramePlanes& p, int column, int row, int block) const
    {
        return (block == 4 ? p.u : p.v) + static_cast<ptrdiff_t>(8 * row) * chromaStride_ + 8 * column;
    }
    uint8_t* blockPlace(const VxFramePlanes& p, int column, int row, int block, ptrdiff_t& stride) const
    {
        stride = block < 4 ? lumaStride_ : chromaStride_;
        return block < 4 ? lumaBlock(p, column, row, block) : chromaBlock(p, column, row, block);
    }

    bool decodeIntraBlocks(int column, int row, int cbp)
    {
        for (int b = 0; b < 6; ++b) {
            int16_t* block = s_.blocks[b];
            uint32_t dc = reader_.read(8);
            if (dc == 255)
                dc = 128;
            ptrdiff_t stride = 0;
            uint8_t* dst = blockPlace(cur_, column, row, b, stride);
            if (!(cbp & (32 >> b))) {
                // A DC-only block transforms to a flat block of the DC value.
                for (int y = 0; y < 8; ++y)
                    std::memset(dst + y * stride, static_cast<int>(dc), 8);
                continue;
            }
            std::memset(block, 0, sizeof(int16_t) * 64);
            block[0] = static_cast<int16_t>(8 * dc);
            if (readCoefficients(block, 1) < 0)
                return false;
            k_.idct(block);
            k_.putBlock(dst, stride, block);
        }
        return true;
    }

    bool decodeIntraMacroblock(int column, int row)
    {
        const McbpcEntry mcbpc = kMcbpcIntraLookup[reader_.show(kMcbpcIntraLookupBits)];
        if (mcbpc.length == 0)
            return false;
        reader_.skip(mcbpc.length);
        return decodeIntraBody(column, row, mcbpc);
    }

    bool decodeIntraBody(int column, int row, McbpcEntry mcbpc)
    {
        const CbpyEntry cbpy = kCbpyLookup[reader_.show(kCbpyLookupBits)];
        if (cbpy.length == 0)
            return false;
        reader_.skip(cbpy.length);
        if (mcbpc.mbType == kMbIntraQ)
            applyDquant();
        return decodeIntraBlocks(column, row, cbpy.cbpy * 4 + mcbpc.cbpc);
    }

    bool readVectorDifference(int& difference)
    {
        const MvdEntry entry = kMvdLookup[reader_.show(kMvdLookupBits)];
        if (entry.length == 0)
            return false;
        reader_.skip(entry.length);
        difference = entry.value;
        return true;
    }

    // Predicts a size x size block at (x, y) + the vector's integer part from a plane.
    // Blocks that reach outside the reference read its nearest edge samples instead.
    void predict(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* plane, ptrdiff_t stride, int planeWidth,
                 int planeHeight, int x, int y, int phase, int size)
    {
        const PredictFn fn = (size == 16 ? k_.predict16 : k_.predict8)[phase];
        const int needWidth = size + (phase & 1);
        const int needHeight = size + (phase >> 1);
        if (x >= 0 && y >= 0 && x + needWidth <= planeWidth && y + needHeight <= planeHeight) {
            fn(dst, dstStride, plane + static_cast<ptrdiff_t>(y) * stride + x, stride);
            return;
        }
        constexpr int kEdgeStride = 32;
        alignas(16) uint8_t edge[17 * kEdgeStride];
        for (int r = 0; r < needHeight; ++r) {
            const int sy = std::clamp(y + r, 0, planeHeight - 1);
            const uint8_t* source = plane + static_cast<ptrdiff_t>(sy) * stride;
            for (int c = 0; c < needWidth; ++c)
                edge[r * kEdgeStride + c] = source[std::clamp(x + c, 0, planeWidth - 1)];
        }
        fn(dst, dstStride, edge, kEdgeStride);
    }

    void predictMacroblock(int column, int row, MotionVector v)
    {
        predict(cur_.y + static_cast<ptrdiff_t>(16 * row) * lumaStride_ + 16 * column, lumaStride_, ref_.y,
                lumaStride_, s_.width, s_.height, 16 * column + (v.x >> 1), 16 * row + (v.y >> 1),
                halfSamplePhase(v.x & 1, v.y & 1), 16);
        const int cx = 8 * column + chromaOffset(v.x);
        const int cy = 8 * row + chromaOffset(v.y);
        const int phase = halfSamplePhase(chromaPhase(v.x), chromaPhase(v.y));
        const ptrdiff_t at = static_cast<ptrdiff_t>(8 * row) * chromaStride_ + 8 * column;
        predict(cur_.u + at, chromaStride_, ref_.u, chromaStride_, s_.width / 2, s_.height / 2, cx, cy, phase, 8);
        predict(cur_.v + at, chromaStride_, ref_.v, chromaStride_, s_.width / 2, s_.height / 2, cx, cy, phase, 8);
    }

    void copyMacroblock(int column, int row)
    {
        const ptrdiff_t luma = static_cast<ptrdiff_t>(16 * row) * lumaStride_ + 16 * column;
        const ptrdiff_t chroma = static_cast<ptrdiff_t>(8 * row) * chromaStride_ + 8 * column;
        k_.predict16[0](cur_.y + luma, lumaStride_, ref_.y + luma, lumaStride_);
        k_.predict8[0](cur_.u + chroma, chromaStride_, ref_.u + chroma, chromaStride_);
        k_.predict8[0](cur_.v + chroma, chromaStride_, ref_.v + chroma, chromaStride_);
    }

    bool decodeInterPictureMacroblock(int column, int row, int32_t index)
    {
        if (reader_.readBit()) { // COD: not coded
            copyMacroblock(column, row);
            return true;
        }
        const McbpcEntry mcbpc = kMcbpcInterLookup[reader_.show(kMcbpcInterLookupBits)];
        if (mcbpc.length == 0 || mcbpc.mbType == kMbInter4V)
            return false;
        reader_.skip(mcbpc.length);
        if (mcbpc.mbType == kMbIntra || mcbpc.mbType == kMbIntraQ)
            return decodeIntraBody(column, row, mcbpc);

        const CbpyEntry cbpy = kCbpyLookup[reader_.show(kCbpyLookupBits)];
        if (cbpy.length == 0)
            return false;
        reader_.skip(cbpy.length);
        const int cbp = (15 - cbpy.cbpy) * 4 + mcbpc.cbpc;
        if (mcbpc.mbType == kMbInterQ)
            applyDquant();
        const MotionVector predictor = predictMotionVector(s_.vectors, s_.mbColumns, column, row);
        int dx = 0;
        int dy = 0;
        if (!readVectorDifference(dx) || !readVectorDifference(dy))
            return false;
        const MotionVector v{addVectorComponent(predictor.x, dx), addVectorComponent(predictor.y, dy)};
        s_.vectors[index] = v;

        predictMacroblock(column, row, v);
        for (int b = 0; b < 6; ++b) {
            if (!(cbp & (32 >> b)))
                continue;
            int16_t* block = s_.blocks[b];
            std::memset(block, 0, sizeof(int16_t) * 64);
            const int events = readCoefficients(block, 0);
            if (events < 0)
                return false;
            ptrdiff_t stride = 0;
            uint8_t* dst = blockPlace(cur_, column, row, b, stride);
            // One event that landed on the DC: nothing else in the block.
            if (events == 1 && block[0] != 0) {
                addFlat(dst, stride, dcOnlyResidual(block[0]));
                continue;
            }
            k_.idct(block);
            k_.addBlock(dst, stride, block);
        }
        return true;
    }

    // From a damaged or missing macroblock on, the picture repeats the reference: with
    // no resynchronisation point in the picture, anything decoded after a bad code would
    // be noise.
    void concealFrom(int32_t first)
    {
        const int32_t total = s_.mbColumns * s_.mbRows;
        for (int32_t index = first; index < total; ++index) {
            copyMacroblock(index % s_.mbColumns, index / s_.mbColumns);
            s_.vectors[index] = MotionVector{};
        }
        s_.damagedMacroblocks = total - first;
    }

    DecoderState& s_;
    BitReader& reader_;
    const CodecKernels& k_;
    VxFramePlanes cur_;
    VxFramePlanes ref_;
    ptrdiff_t lumaStride_;
    ptrdiff_t chromaStride_;
};

} // namespace

int vx_decoder_open(VxDecoderHandle* handle)
{
    if (!handle)
        return -1;
    auto* state = new (std::align_val_t(kAlignment), std::nothrow) DecoderState{};
    if (!state)
        return -1;
    state->kernels = &codecKernels();
    handle->state = state;
    return 0;
}

int vx_decode(VxDecoderHandle* handle, VxFramePlanes** planes, const uint8_t* data, int32_t lengthBytes)
{
    DecoderState* s = stateOf(handle);
    if (!s || !planes || !data || lengthBytes <= 0)
        return -1;
    BitReader reader(data, static_cast<size_t>(lengthBytes));
    PictureHeader header;
    if (readPictureHeader(reader, header, s->width, s->height) != HeaderStatus::Ok)
        return -1;

    if (!s->buffers[0] || header.width != s->width || header.height != s->height) {
        freeBuffers(*s);
        handle->width = 0;
        handle->height = 0;
        if (!allocateBuffers(*s, header.width, header.height))
            return -1;
        handle->width = header.width;
        handle->height = header.height;
    }
    s->current = 1 - s->current; // the picture decoded last becomes the reference
    s->type = header.type;
    s->qp = header.quantiser;
    s->damagedMacroblocks = 0;
    handle->keyFlag = header.type == PictureType::Intra ? 1 : 0;

    MacroblockDecoder(*s, reader).decodePicture();

    ++s->picturesDecoded;
    *planes = &s->planes[s->current];
    return static_cast<int>(reader.bytesUsed());
}

void vx_decoder_close(VxDecoderHandle* handle)
{
    DecoderState* s = stateOf(handle);
    if (!s)
        return;
    freeBuffers(*s);
    s->~DecoderState();
    ::operator delete(s, std::align_val_t(kAlignment), std::nothrow);
    handle->state = nullptr;
}

int vx_decoder_damaged_macroblocks(const VxDecoderHandle* handle)
{
    const DecoderState* s = stateOf(handle);
    return s ? s->damagedMacroblocks : -1;
}

} // namespace vantry::codec
