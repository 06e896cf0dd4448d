// The stream protocol between vyvserver and its viewers: message layout, codes, payload
// records and the two incremental parsers (requests on the server, messages on the viewer).
// Pure functions and small classes over bytes; no sockets, no threads. All integers are
// 32-bit little-endian.
//
//   server -> viewer: 0x52, u32 length (= 8 + payload), u32 code, u32 time, payload
//   viewer -> server: 0x52, u32 length (= 4 + payload), u32 code, payload
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::server {

inline constexpr uint8_t kMarker = 0x52;
inline constexpr size_t kRequestHeaderBytes = 9;  // marker, length, code
inline constexpr size_t kMessageHeaderBytes = 13; // marker, length, code, time
inline constexpr uint16_t kDefaultPort = 81;

// Requests, viewer -> server.
inline constexpr uint32_t CMD_GET_INFO = 0xFF02;
inline constexpr uint32_t CMD_START_STREAM = 0xFF03;
inline constexpr uint32_t CMD_STOP_STREAM = 0xFF04;
inline constexpr uint32_t CMD_KEY_FRAME = 0xFF05;
inline constexpr uint32_t CMD_SET_OPTIONS = 0xFF06;
inline constexpr uint32_t CMD_EVENT_ONLY = 0xFF07;
inline constexpr uint32_t CMD_EVENT_ONLY_QUIET = 0xFF08;
inline constexpr uint32_t CMD_ASK_PASSWORD = 0xFF09;
inline constexpr uint32_t CMD_PASSWORD = 0xFF0A;
inline constexpr uint32_t CMD_PTZ = 0xFF0B;
inline constexpr uint32_t CMD_SELECT_CAMERA = 0xFF0C;
inline constexpr uint32_t CMD_GET_CAMERA_STATUS = 0xFF11;

// Messages, server -> viewer.
inline constexpr uint32_t MSG_VIDEO_FORMAT = 0xFE02;
inline constexpr uint32_t MSG_KEY_FRAME = 0xFE05;
inline constexpr uint32_t MSG_DELTA_FRAME = 0xFE06;
inline constexpr uint32_t MSG_HELLO = 0xFE07;
inline constexpr uint32_t MSG_EVENT_ON = 0xFE08;
inline constexpr uint32_t MSG_EVENT_OFF = 0xFE09;
inline constexpr uint32_t MSG_OPTIONS_OK = 0xFE0A;
inline constexpr uint32_t MSG_EVENT_ONLY_OK = 0xFE0B;
inline constexpr uint32_t MSG_IDLE = 0xFE0C;
inline constexpr uint32_t MSG_PASSWORD_NEEDED = 0xFE0D;
inline constexpr uint32_t MSG_PASSWORD_RESULT = 0xFE0E;
inline constexpr uint32_t MSG_CAMERA_STATUS = 0xFE0F;
inline constexpr uint32_t MSG_CAMERA_OK = 0xFE11;
inline constexpr uint32_t MSG_CAMERA_UNAVAILABLE = 0xFE12;
inline constexpr uint32_t MSG_SITE_NAME = 0xFE13;
inline constexpr uint32_t MSG_CAMERA_NAME = 0xFE14;

// Bit of the server word (MSG_HELLO): the server answers CMD_GET_CAMERA_STATUS.
inline constexpr uint32_t kServerWordCameraStatus = 0x10000;

// Password payloads the server compares: 1..16 bytes, no terminator.
inline constexpr size_t kMaxPasswordBytes = 16;
// Longest message the viewer accepts (its length field, code and time included).
inline constexpr uint32_t kMaxViewerMessageLength = 1048576;

inline constexpr uint32_t kFourccVx01 = 0x31305856; // 'V','X','0','1'

// PTZ commands carried by CMD_PTZ.
inline constexpr uint32_t kPtzTiltUp = 5;
inline constexpr uint32_t kPtzTiltDown = 6;
inline constexpr uint32_t kPtzPanLeft = 7;
inline constexpr uint32_t kPtzPanRight = 8;
inline constexpr uint32_t kPtzZoomIn = 9;
inline constexpr uint32_t kPtzZoomOut = 10;

const char* requestName(uint32_t code);  // "CMD_..." or "unknown"
const char* messageName(uint32_t code);  // "MSG_..." or "unknown"

// Little-endian helpers.
void putU32(uint8_t* out, uint32_t value);
uint32_t getU32(const uint8_t* in);
void appendU32(std::vector<uint8_t>& out, uint32_t value);

// ---------------------------------------------------------------------------------------
// Payload records

// CMD_SET_OPTIONS, 16 bytes.
struct StreamOptions {
    uint32_t quality = 5;   // 1 best .. 12 lowest
    uint32_t halfSize = 0;  // flag
    uint32_t frameRate = 5; // frames per second
    uint32_t eventOnly = 0; // the viewer's flag; the server goes by CMD_EVENT_ONLY instead
    friend bool operator==(const StreamOptions&, const StreamOptions&) = default;
};
inline constexpr size_t kStreamOptionsBytes = 16;
std::array<uint8_t, kStreamOptionsBytes> encodeStreamOptions(const StreamOptions& options);
std::optional<StreamOptions> parseStreamOptions(std::span<const uint8_t> payload);

// MSG_VIDEO_FORMAT: the 40-byte bitmap header of the VX01 pictures that follow.
struct VideoFormat {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitCount = 12;
    uint32_t compression = kFourccVx01;
    uint32_t sizeImage = 0;
};
inline constexpr size_t kVideoFormatBytes = 40;
// biSizeImage of a 12-bit picture: rows of width x 12 bits padded to 32 bits.
uint32_t vx01ImageSize(int32_t width, int32_t height);
VideoFormat makeVx01Format(int32_t width, int32_t height);
std::array<uint8_t, kVideoFormatBytes> encodeVideoFormat(const VideoFormat& format);
// Accepts a record of at least 40 bytes with biSize >= 40 and a positive size; the colour
// table that may follow for 4- and 8-bit formats is not needed and not read.
std::optional<VideoFormat> parseVideoFormat(std::span<const uint8_t> payload);

// Texts (MSG_SITE_NAME, MSG_CAMERA_NAME): the characters and one zero byte.
std::vector<uint8_t> encodeText(std::string_view text);
// Up to the first zero byte, or the whole payload when there is none.
std::string parseText(std::span<const uint8_t> payload);

std::array<uint8_t, 4> encodeU32(uint32_t value);
// A flag or word payload: the first four bytes; nullopt when shorter.
std::optional<uint32_t> parseU32(std::span<const uint8_t> payload);

// ---------------------------------------------------------------------------------------
// Whole messages

// Server -> viewer: header with the time field, then the payload.
std::vector<uint8_t> encodeMessage(uint32_t code, uint32_t time, std::span<const uint8_t> payload = {});
void appendMessage(std::vector<uint8_t>& out, uint32_t code, uint32_t time, std::span<const uint8_t> payload = {});
// Viewer -> server: header without a time field, then the payload.
std::vector<uint8_t> encodeRequest(uint32_t code, std::span<const uint8_t> payload = {});
std::vector<uint8_t> encodeRequestU32(uint32_t code, uint32_t value);

// The payload size the server reads for a request code, whatever the length field says:
// 16 for CMD_SET_OPTIONS, 4 for the flag and number requests, 0 for the others. CMD_PASSWORD
// is the one request whose payload size comes from its length field.
size_t fixedRequestPayload(uint32_t code);

// ---------------------------------------------------------------------------------------
// Server side: requests as they arrive, in pieces of any size.

struct Request {
    uint32_t code = 0;
    uint32_t length = 0;          // the length field as received
    std::vector<uint8_t> payload; // as the code defines; a password of 1..16 bytes
    // CMD_PASSWORD only: the payload was empty or longer than 16 bytes. Its bytes (up to
    // kMaxSkippedPasswordBytes) were read and dropped; such a password never matches.
    bool passwordOutOfRange = false;
};

// Longest CMD_PASSWORD payload that is read and dropped; a longer length field is taken for
// garbage and the search for the next marker resumes after the header. Nothing a viewer
// sends makes the parser hold more than 16 payload bytes.
inline constexpr uint32_t kMaxSkippedPasswordBytes = 65536;

class RequestParser {
public:
    // Parses `bytes` and appends every request completed by them to `out`; an incomplete
    // request is kept and completed by the next call. Bytes before a marker are skipped
    // (counted in skippedBytes()).
    void feed(std::span<const uint8_t> bytes, std::vector<Request>& out);
    // A request is partly read.
    bool midRequest() const { return stage_ != Stage::Marker; }
    uint64_t skippedBytes() const { return skipped_; }
    void reset();

private:
    enum class Stage { Marker, Header, Payload, Skip };
    Stage stage_ = Stage::Marker;
    std::array<uint8_t, 8> header_ {};
    size_t headerFill_ = 0;
    Request current_;
    size_t payloadWanted_ = 0;
    uint32_t skipLeft_ = 0;
    uint64_t skipped_ = 0;
};

// ---------------------------------------------------------------------------------------
// Viewer side: server messages as they arrive.

struct Message {
    uint32_t code = 0;
    uint32_t time = 0;
    std::vector<uint8_t> payload;
};

enum class MessageParseError {
    None,
    BadMarker,     // a byte other than 0x52 where a message must begin
    LengthTooLarge // a length above kMaxViewerMessageLength
};

class MessageParser {
public:
    // Appends every complete message to `out`. Messages whose length is below 8 are read
    // and dropped. Stops at the first error, which stays until reset(); the caller closes
    // the connection.
    MessageParseError feed(std::span<const uint8_t> bytes, std::vector<Message>& out);
    MessageParseError error() const { return error_; }
    void reset();

private:
    enum class Stage { Marker, Length, Body };
    Stage stage_ = Stage::Marker;
    std::array<uint8_t, 4> lengthBytes_ {};
    size_t lengthFill_ = 0;
    uint32_t length_ = 0;
    std::vector<uint8_t> body_;
    MessageParseError error_ = MessageParseError::None;
};

} // namespace vantry::server
