#pragma once

#include "station/core/video_format.h"

#include <array>
#include <string>

namespace vantry::station {

// Message ids and texts of the camera channel, shown by the hub.
inline constexpr int kMsgGraphError = 61304;
inline constexpr const char* kTextGraphError =
    "An error occurred when connecting between video/audio capture devices, codecs and renderers (%d).";
inline constexpr int kMsgCannotDisplayPreview = 61318;
inline constexpr const char* kTextCannotDisplayPreview = "Cannot display preview video!";
inline constexpr int kMsgCannotRenderClosedCaptions = 61319;
inline constexpr int kMsgBadVideoWidth = 61340;
inline constexpr const char* kTextBadVideoWidth =
    "The specified video width is not accepted!\n\nThe video width should be between 720 and 320 pixels!";
inline constexpr int kMsgBadColourSpace = 61345;
inline constexpr const char* kTextBadColourSpace = "The specified video color space is not accepted!";
inline constexpr int kMsgNoneDevice = 61358;
inline constexpr const char* kTextNoneDevice = "None";
inline constexpr int kMsgSameVideoDevice = 61359;
inline constexpr const char* kTextSameVideoDevice =
    "Camera %d and Camera %d select the same video source device! \n\nPlease select different video source devices.";
inline constexpr int kMsgSameAudioDevice = 61360;
inline constexpr const char* kTextSameAudioDevice =
    "Camera %d and Camera %d select the same audio source device! \n\nPlease select different audio source devices.";

// A failed graph step: its code (shown with 61304) and the text for the diagnostic log.
struct GraphFailure {
    int code = 0;
    const char* text = "";
};

namespace graph_failure {
inline constexpr GraphFailure kNoVideoStreamConfig { 1007, "Error : Cannot find VCapture:IAMStreamConfig" };
inline constexpr GraphFailure kCannotCreateAudioCapture { 1009, "Cannot create audio capture filter" };
inline constexpr GraphFailure kCannotAddAudioCapture { 1011, "Error : Cannot add audio capture filter to filtergraph" };
inline constexpr GraphFailure kCannotOpenSoundRenderer { 1012, "Error : Cannot open Direct Sound Renderer" };
inline constexpr GraphFailure kCannotAddSoundRenderer { 1012, "Error : Cannot add DirectSound Renderer to filtergraph" };
inline constexpr GraphFailure kNoAudioStreamConfig { 1013, "Cannot find ACapture:IAMStreamConfig" };
inline constexpr GraphFailure kCannotOpenAudioCompressor { 1020, "Error: Cannot open audio compressor!" };
inline constexpr GraphFailure kCannotAddAudioCompressor { 1021, "Error: Cannot add audio compressor to filtergraph!" };
inline constexpr GraphFailure kCannotOpenVideoCompressor { 1022, "Error: Cannot open video compressor!" };
inline constexpr GraphFailure kCannotAddVideoCompressor { 1023, "Error: Cannot add video compressor to filtergraph!" };
inline constexpr GraphFailure kCannotRenderCapture { 1026, "Cannot render video capture stream!" };
inline constexpr GraphFailure kCannotRenderPreview { 1027, "Cannot render video preview stream!" };
inline constexpr GraphFailure kCannotRenderAudio { 1028, "Cannot render audio capture stream!" };
inline constexpr GraphFailure kCannotPreview { 1030, "This graph cannot preview!" };
inline constexpr GraphFailure kCannotStartCapture { 1032, "Error : Cannot get IMediaControl!" };
inline constexpr GraphFailure kCannotStartPreview { 1034, "Error : Cannot start graph!" };
inline constexpr GraphFailure kCannotStopCapture { 1035, "Error : Cannot stop graph(003)!" };
inline constexpr GraphFailure kCannotStopPreview { 1036, "Error : Cannot stop graph(004)!" };
} // namespace graph_failure

// Set picture format check: 0 when accepted, else the message id to show.
int checkPictureFormat(int width, VideoSubtype subtype);

// Devices dialog: two cameras may not share a device ("None", the empty name, aside).
struct DeviceChoiceCheck {
    int messageId = 0; // 0 = accepted
    int firstCamera = 0; // camera numbers (1-based) for the message
    int secondCamera = 0;
};
DeviceChoiceCheck checkDeviceChoices(const std::array<std::string, 4>& video, const std::array<std::string, 4>& audio);

} // namespace vantry::station
