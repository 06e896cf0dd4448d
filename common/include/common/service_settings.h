// Settings records of vantry.ini owned by other parts of the programs: the capture graph
// (ZtCAPnn), the motion detector (Motionnn), the snapshot caption font (Snap), the operation log
// (Log), the port-forwarding link (Gateray) and the record player's own key. Each is read and
// written through the schema table with readSettings / writeSettings (settings_schema.h).
// The initial values equal the keys' defaults.
#pragma once

#include <cstdint>
#include <string>

namespace vantry::common {

// Section "ZtCAP%02d" (per camera).
struct CaptureSettings {
    std::string videoDevice; // device display name, empty = none
    std::string audioDevice;
    std::string videoCodec = "VX Video Encoder";
    std::string audioCodec = "GSM 6.10";
    int32_t videoQuality = 80; // 1..100
    int32_t captureAudio = 1;
    int32_t captureCC = 0;
    int32_t useFrameRateControl = 0;
    int32_t frameRate = 30;    // 1..30
    int32_t maxFrameRate = 30; // 1..30
    int32_t useTimeLimit = 0;
    int32_t timeLimit = 0;
};

// Section "Motion%02d" (per camera).
struct MotionSettings {
    int32_t motionVolumeThreshold = 0; // percent of changed pixels
    int32_t motionValueThreshold = 80; // luminance difference
    int32_t ignoreShortMotion = 0;
    int32_t shortMotionLengthSeconds = 1;
    int32_t displayGrid = 1;
    int32_t transparentMask = 1;
    int32_t gridSize = 40;
    int32_t maskFileSize = 0;
    std::string maskFileName;
};

// Section Snap: colour and font of the snapshot caption.
struct SnapFontSettings {
    int32_t color = 0;
    int32_t height = 16;
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 0;
    int32_t italic = 0;
    int32_t underline = 0;
    int32_t strikeOut = 0;
    int32_t charSet = 0;
    int32_t outPrecision = 0;
    int32_t clipPrecision = 0;
    int32_t quality = 0;
    int32_t pitchAndFamily = 0;
    std::string faceName = "Times New Roman";
};

// Section Log: the operation log's ring size and what it counts.
struct LogSettings {
    int32_t maxOfLogs = 100;
    int32_t countMotionEvents = 0;
    int32_t countRemoteConnections = 0;
};

// Section Gateray: the last known router and local addresses.
struct GaterayAddressSettings {
    std::string externalAddress = "0.0.0.0";
    std::string internalAddress;
};

// Section Preference, keys only the record player reads.
struct PlayerSettings {
    int32_t autoPlay = 1;
};

} // namespace vantry::common
