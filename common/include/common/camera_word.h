// Camera words: how window messages carry a camera. Inside the station, high 16 bits = camera
// index + 1 (0 = the selected camera), low 16 bits = a value. Between station and stream server
// the camera travels 0-based in the high 16 bits instead (see the server* helpers).
#pragma once

#include <cstdint>

namespace vantry::common {

inline constexpr int kStationCameraCount = 4;
// The camera index of "the selected camera" in a camera word, and of "the system" in logs.
inline constexpr int kSelectedCamera = -1;

// cameraIndex -1 (or any negative index) gives a word for the selected camera.
constexpr uint32_t makeCameraWord(int cameraIndex, uint16_t value = 0)
{
    const uint32_t high = cameraIndex < 0 ? 0u : static_cast<uint32_t>(cameraIndex + 1) & 0xFFFFu;
    return (high << 16) | value;
}

// Zero-based camera index of a word, or kSelectedCamera when its high half is 0.
constexpr int cameraIndexOf(uint32_t word)
{
    return static_cast<int>(word >> 16) - 1;
}

constexpr uint16_t cameraValueOf(uint32_t word)
{
    return static_cast<uint16_t>(word & 0xFFFFu);
}

constexpr bool isSelectedCameraWord(uint32_t word)
{
    return (word >> 16) == 0;
}

// The camera a word means, with the selected camera filled in.
constexpr int resolveCamera(uint32_t word, int selectedCamera)
{
    return isSelectedCameraWord(word) ? selectedCamera : cameraIndexOf(word);
}

constexpr bool isStationCamera(int cameraIndex)
{
    return cameraIndex >= 0 && cameraIndex < kStationCameraCount;
}

// Server -> station wParam: camera index (0-based) in the high 16 bits, a value in the low 16.
// The station ignores words of 0x40000 or more (camera index 4 and up).
inline constexpr uint32_t kServerWordLimit = 0x40000u;

constexpr uint32_t makeServerWord(int cameraIndex, uint16_t value = 0)
{
    return (static_cast<uint32_t>(cameraIndex) << 16) | value;
}

// Camera index of a server word, or -1 when the word is out of range.
constexpr int serverWordCamera(uint32_t wParam)
{
    return wParam >= kServerWordLimit ? -1 : static_cast<int>(wParam >> 16);
}

// Station -> server lParam: the camera index (0-based) in the high 16 bits.
constexpr uint32_t makeStationCameraParam(int cameraIndex)
{
    return static_cast<uint32_t>(cameraIndex) << 16;
}

constexpr int stationCameraParamCamera(uint32_t lParam)
{
    return static_cast<int>(lParam >> 16);
}

} // namespace vantry::common
