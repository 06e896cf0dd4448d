#include "common/gsm_encoder.h"

#include "common/avi_format.h"

#include <algorithm>
#include <gsm.h>

namespace vantry::common {

GsmEncoder::GsmEncoder()
{
    gsm state = gsm_create();
    if (state == nullptr)
        return;
    int one = 1;
    gsm_option(state, GSM_OPT_WAV49, &one);
    state_ = state;
}

GsmEncoder::~GsmEncoder()
{
    if (state_ != nullptr)
        gsm_destroy(static_cast<gsm>(state_));
}

void GsmEncoder::EncodeBlock(std::vector<uint8_t>& out)
{
    // In WAV49 mode libgsm packs two 160-sample frames into 32 + 33 bytes.
    const size_t at = out.size();
    out.resize(at + kGsmBlockBytes);
    gsm_encode(static_cast<gsm>(state_), pending_, out.data() + at);
    gsm_encode(static_cast<gsm>(state_), pending_ + 160, out.data() + at + 32);
    pendingCount_ = 0;
}

size_t GsmEncoder::Encode(const int16_t* samples, size_t count, std::vector<uint8_t>& out)
{
    if (state_ == nullptr || (samples == nullptr && count > 0))
        return 0;
    const size_t before = out.size();
    while (count > 0) {
        const size_t take = std::min(count, kGsmBlockSamples - pendingCount_);
        std::copy_n(samples, take, pending_ + pendingCount_);
        pendingCount_ += take;
        samples += take;
        count -= take;
        if (pendingCount_ == kGsmBlockSamples)
            EncodeBlock(out);
    }
    return out.size() - before;
}

size_t GsmEncoder::Flush(std::vector<uint8_t>& out)
{
    if (state_ == nullptr || pendingCount_ == 0)
        return 0;
    std::fill(pending_ + pendingCount_, pending_ + kGsmBlockSamples, 0);
    EncodeBlock(out);
    return kGsmBlockBytes;
}

} // namespace vantry::common
