// Window messages between and inside the programs: the handle that names a program's message
// endpoint, the message record a handler receives, and the few system message numbers the
// programs exchange besides their own application-range numbers.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vantry::platform {

// Names one message endpoint (one program's main window). 0 = none; valid handles are
// 1..0x7FFFFFFF so that a handle also fits a signed lParam unchanged.
using WindowHandle = std::uint32_t;
inline constexpr WindowHandle kNoWindow = 0;

// System message numbers with the meaning the programs give them.
inline constexpr std::uint32_t kMsgClose = 0x0010;      // ask the program to close
inline constexpr std::uint32_t kMsgShowWindow = 0x0018; // wParam 1: show and raise, 0: hide
inline constexpr std::uint32_t kMsgCopyData = 0x004A;   // copy-data (see Message::copyData)
inline constexpr std::uint32_t kMsgUser = 0x0400;
inline constexpr std::uint32_t kMsgApp = 0x8000;        // first application-range message

enum class Delivery {
    Posted, // queued; the sender did not wait
    Sent    // the sender waits for the handler's result
};

struct Message {
    std::uint32_t msg = 0;
    std::uint32_t wParam = 0;
    std::int32_t lParam = 0;
    // The sending program's endpoint (0 when it has none); for messages a program posts to
    // itself, its own handle.
    WindowHandle sender = kNoWindow;
    Delivery delivery = Delivery::Posted;
    // Copy-data messages only (msg == kMsgCopyData, wParam == sender, lParam == 0): the
    // sender's data type word and the bytes, delivered whole.
    std::uint32_t copyDataType = 0;
    std::vector<std::uint8_t> copyData;
};

// A message number private to this process, stable for the same name during its life, in
// the range 0xC000..0xFFFF (0 for an empty name or when the range is used up).
std::uint32_t registerWindowMessage(std::string_view name);

} // namespace vantry::platform
