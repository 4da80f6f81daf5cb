#pragma once
// The form in which MIDI short messages reach the main window, from an input
// device or from the mini keyboard: message number, source, packed bytes.
#include <cstdint>
#include <optional>
#include <span>

// Message numbers of the input notifications the main window acts on.
inline constexpr uint32_t MM_MIM_OPEN = 961;     // a device was opened: start it
inline constexpr uint32_t MM_MIM_DATA = 963;     // one short message
inline constexpr uint32_t MM_MIM_MOREDATA = 972; // the same, while input runs behind

// wParam of a message the mini keyboard posted; an input device gives its
// handle instead, which is never this value.
inline constexpr uint32_t KeyboardSource = 0xFEED;

struct ShortMessage {
    uint8_t Status = 0; // e.g. 0x90 note-on on channel 1
    uint8_t Data1 = 0;
    uint8_t Data2 = 0; // 0 for messages with one data byte
    bool operator==(const ShortMessage&) const = default;
};

// lParam: status in bits 0-7, data1 in 8-15, data2 in 16-23, 24-31 zero.
constexpr uint32_t PackShortMessage(ShortMessage m) {
    return uint32_t{m.Status} | uint32_t{m.Data1} << 8 | uint32_t{m.Data2} << 16;
}

// Bits 24-31 are not used and are ignored.
constexpr ShortMessage UnpackShortMessage(uint32_t lparam) {
    return {static_cast<uint8_t>(lparam), static_cast<uint8_t>(lparam >> 8),
            static_cast<uint8_t>(lparam >> 16)};
}

// A message as MIDI input delivers it, one to three bytes, or nothing when
// it holds nothing to play: system exclusive, clock, active sensing, a
// running-status fragment, and a message whose data byte has its top bit
// set (that byte is a status, so the message was cut short: none of its
// bytes is a note or a velocity).
constexpr std::optional<ShortMessage> ShortMessageFromInput(std::span<const uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > 3) return std::nullopt;
    const uint8_t status = bytes[0];
    if (status < 0x80 || status == 0xF0 || status == 0xF7 || status == 0xF8 || status == 0xFE)
        return std::nullopt;
    for (size_t i = 1; i < bytes.size(); ++i)
        if (bytes[i] & 0x80) return std::nullopt;
    ShortMessage m{status};
    if (bytes.size() > 1) m.Data1 = bytes[1];
    if (bytes.size() > 2) m.Data2 = bytes[2];
    return m;
}
