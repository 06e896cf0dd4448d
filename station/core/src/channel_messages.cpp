#include "station/core/channel_messages.h"

#include "station/core/video_format.h"

namespace vantry::station {

int checkPictureFormat(int width, VideoSubtype subtype)
{
    if (width < kMinCaptureWidth || width > kMaxCaptureWidth)
        return kMsgBadVideoWidth;
    if (!isSelectableSubtype(subtype))
        return kMsgBadColourSpace;
    return 0;
}

namespace {

bool findDuplicate(const std::array<std::string, 4>& names, int* first, int* second)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty())
            continue;
        for (size_t j = i + 1; j < names.size(); ++j) {
            if (names[i] == names[j]) {
                *first = static_cast<int>(i) + 1;
                *second = static_cast<int>(j) + 1;
                return true;
            }
        }
    }
    return false;
}

} // namespace

DeviceChoiceCheck checkDeviceChoices(const std::array<std::string, 4>& video, const std::array<std::string, 4>& audio)
{
    DeviceChoiceCheck check;
    if (findDuplicate(video, &check.firstCamera, &check.secondCamera))
        check.messageId = kMsgSameVideoDevice;
    else if (findDuplicate(audio, &check.firstCamera, &check.secondCamera))
        check.messageId = kMsgSameAudioDevice;
    return check;
}

} // namespace vantry::station
