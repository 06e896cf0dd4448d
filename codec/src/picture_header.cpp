#include "codec/picture_header.h"

#include "codec/vlc_tables.h"

namespace vantry::codec {
namespace {

struct StandardSize {
    int32_t width;
    int32_t height;
};
constexpr StandardSize kStandardSizes[] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};
constexpr int kExtendedPtype = 7;
constexpr int kCustomFormat = 6;

bool validSize(int32_t width, int32_t height)
{
    return width > 0 && height > 0 && width % 16 == 0 && height % 16 == 0 && width <= kMaxPictureWidth &&
           height <= kMaxPictureHeight;
}

} // namespace

const char* headerStatusText(HeaderStatus status)
{
    switch (status) {
    case HeaderStatus::Ok: return "ok";
    case HeaderStatus::BadStartCode: return "no picture start code";
    case HeaderStatus::BadMarker: return "wrong PTYPE marker bits";
    case HeaderStatus::BadSourceFormat: return "unsupported picture size";
    case HeaderStatus::UnsupportedOption: return "unsupported coding option";
    case HeaderStatus::BadPictureType: return "unsupported picture type";
    case HeaderStatus::BadQuantiser: return "quantiser 0";
    case HeaderStatus::NoPreviousSize: return "picture size missing";
    case HeaderStatus::Truncated: return "picture header truncated";
    }
    return "unknown";
}

int standardSourceFormat(int width, int height)
{
    for (int i = 0; i < 5; ++i)
        if (kStandardSizes[i].width == width && kStandardSizes[i].height == height)
            return i + 1;
    return 0;
}

bool standardSourceSize(int format, int32_t& width, int32_t& height)
{
    if (format < 1 || format > 5)
        return false;
    width = kStandardSizes[format - 1].width;
    height = kStandardSizes[format - 1].height;
    return true;
}

namespace {

HeaderStatus readHeaderFields(BitReader& reader, PictureHeader& header, int32_t previousWidth,
                              int32_t previousHeight)
{
    PictureHeader result;
    if (reader.read(kPictureStartCodeBits) != kPictureStartCode)
        return HeaderStatus::BadStartCode;
    result.temporalReference = static_cast<int32_t>(reader.read(8));
    if (reader.readBit() != 1 || reader.readBit() != 0)
        return HeaderStatus::BadMarker;
    reader.skip(3); // split screen, document camera, freeze picture release
    const int format = static_cast<int>(reader.read(3));

    if (format != kExtendedPtype && format != kCustomFormat) {
        if (!standardSourceSize(format, result.width, result.height))
            return HeaderStatus::BadSourceFormat;
        result.type = reader.readBit() ? PictureType::Inter : PictureType::Intra;
        if (reader.read(4) != 0) // UMV, SAC, AP, PB
            return HeaderStatus::UnsupportedOption;
        result.quantiser = static_cast<int32_t>(reader.read(5));
        if (reader.readBit() != 0) // CPM: sub-bitstream indicators would follow
            return HeaderStatus::UnsupportedOption;
    } else {
        const uint32_t ufep = reader.read(3);
        if (ufep > 1)
            return HeaderStatus::UnsupportedOption;
        int extendedFormat = 0;
        if (ufep == 1) {
            extendedFormat = static_cast<int>(reader.read(3));
            // Custom PCF (extra clock fields), UMV, SAC, AP and the annex flags AIC..MQ
            // all change the syntax or meaning of what follows; none is part of the
            // format, so a picture announcing one is refused rather than misread.
            if (reader.read(11) != 0)
                return HeaderStatus::UnsupportedOption;
            reader.skip(1 + 3); // marker, reserved
        }
        const uint32_t pictureType = reader.read(3);
        if (pictureType > 1)
            return HeaderStatus::BadPictureType;
        result.type = pictureType == 0 ? PictureType::Intra : PictureType::Inter;
        // RPR, RRU and rounding type 1 would change the prediction.
        if (reader.read(3) != 0)
            return HeaderStatus::UnsupportedOption;
        reader.skip(2 + 1); // reserved, marker
        if (reader.readBit() != 0) // CPM
            return HeaderStatus::UnsupportedOption;
        if (ufep == 1) {
            if (extendedFormat == kCustomFormat) {
                if (reader.read(4) == 0xf) // an extended pixel aspect ratio follows
                    reader.skip(16);
                result.width = static_cast<int32_t>(4 * (reader.read(9) + 1));
                reader.skip(1);
                result.height = static_cast<int32_t>(4 * reader.read(9));
            } else if (!standardSourceSize(extendedFormat, result.width, result.height)) {
                return HeaderStatus::BadSourceFormat;
            }
        } else {
            if (previousWidth <= 0 || previousHeight <= 0)
                return HeaderStatus::NoPreviousSize;
            result.width = previousWidth;
            result.height = previousHeight;
        }
        result.quantiser = static_cast<int32_t>(reader.read(5));
    }
    // PEI and its spare bytes; bounded by the data, which reads as zeros past its end.
    while (reader.readBit() == 1 && !reader.exhausted())
        reader.skip(8);

    if (reader.exhausted())
        return HeaderStatus::Truncated;
    if (!validSize(result.width, result.height))
        return HeaderStatus::BadSourceFormat;
    // PQUANT 0 has no meaning; dequantising with it would turn every level into -1 or 1.
    if (result.quantiser == 0)
        return HeaderStatus::BadQuantiser;
    header = result;
    return HeaderStatus::Ok;
}

} // namespace

HeaderStatus readPictureHeader(BitReader& reader, PictureHeader& header, int32_t previousWidth,
                               int32_t previousHeight)
{
    const HeaderStatus status = readHeaderFields(reader, header, previousWidth, previousHeight);
    // Zeros past the end of the data make most fields look wrong; say what really happened.
    if (status != HeaderStatus::Ok && reader.exhausted())
        return HeaderStatus::Truncated;
    return status;
}

bool writePictureHeader(BitWriter& writer, const PictureHeader& header)
{
    if (!validSize(header.width, header.height) || header.quantiser < 1 || header.quantiser > 31)
        return false;
    const int format = standardSourceFormat(header.width, header.height);
    writer.put(kPictureStartCode, kPictureStartCodeBits);
    writer.put(static_cast<uint32_t>(header.temporalReference) & 0xff, 8);
    writer.put(0b10, 2);             // PTYPE bits 1 and 2
    writer.put(0, 3);                // split screen, document camera, freeze release
    writer.put(kExtendedPtype, 3);   // extended PTYPE follows
    writer.put(0b001, 3);            // UFEP
    writer.put(format != 0 ? static_cast<uint32_t>(format) : kCustomFormat, 3);
    writer.put(0, 1);                // custom PCF
    writer.put(0, 1);                // unrestricted motion vectors
    writer.put(0, 9);                // SAC, AP, AIC, DF, SS, RPS, ISD, AIV, MQ
    writer.put(1, 1);                // marker
    writer.put(0, 3);                // reserved
    writer.put(header.type == PictureType::Inter ? 1 : 0, 3);
    writer.put(0, 3);                // RPR, RRU, rounding type
    writer.put(0, 2);                // reserved
    writer.put(1, 1);                // marker
    writer.put(0, 1);                // CPM
    if (format == 0) {
        writer.put(0b0010, 4);       // pixel aspect ratio code
        writer.put(static_cast<uint32_t>(header.width / 4 - 1), 9);
        writer.put(1, 1);
        writer.put(static_cast<uint32_t>(header.height / 4), 9);
    }
    writer.put(static_cast<uint32_t>(header.quantiser), 5);
    writer.put(0, 1);                // PEI
    return true;
}

} // namespace vantry::codec
