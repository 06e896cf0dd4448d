#pragma once
// The picture layer: reading both PTYPE forms, writing the extended form.
#include <cstdint>

#include "codec/bit_reader.h"
#include "codec/bit_writer.h"
#include "codec/frame_planes.h"

namespace vantry::codec {

struct PictureHeader {
    int32_t width = 0;
    int32_t height = 0;
    PictureType type = PictureType::Intra;
    int32_t quantiser = 0; // PQUANT, 1..31
    int32_t temporalReference = 0;
};

enum class HeaderStatus {
    Ok,
    BadStartCode,
    BadMarker,       // PTYPE bit 1 not 1 or bit 2 not 0
    BadSourceFormat, // forbidden or unknown size code, size 0 or not a multiple of 16
    UnsupportedOption, // an option or annex the format does not have (UMV, SAC, AP, PB, CPM,
                       // custom PCF, rounding type 1, ...), or UFEP other than 0 or 1
    BadPictureType,
    BadQuantiser,    // PQUANT 0
    NoPreviousSize,  // UFEP 0 on the first picture
    Truncated,       // the data ended inside the header
};

const char* headerStatusText(HeaderStatus status);

// Source format codes 1..5 and their sizes; 0 when the size is not a standard one.
int standardSourceFormat(int width, int height);
bool standardSourceSize(int format, int32_t& width, int32_t& height);

// Reads a picture header. previousWidth/previousHeight give the size kept by an extended
// header that does not repeat it (0 when there is none). The reader is left on the first
// macroblock bit.
HeaderStatus readPictureHeader(BitReader& reader, PictureHeader& header, int32_t previousWidth = 0,
                               int32_t previousHeight = 0);

// Writes the extended form with its full optional part. The size must be a multiple of 16
// within the format's limits and the quantiser 1..31; returns false (writing nothing)
// otherwise.
bool writePictureHeader(BitWriter& writer, const PictureHeader& header);

} // namespace vantry::codec
