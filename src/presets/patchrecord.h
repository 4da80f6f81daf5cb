#pragma once
// The patch records: register images of one six-operator patch and the
// main-window settings that travel with a six-operator preset.
#include "hardware/opl3regs.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Register images of one operator, laid out as hardware/opl3regs.h draws
// registers 0x20, 0x40, 0x60, 0x80 and 0xE0.
struct OperatorPatch {
    uint8_t Reg20 = 0;
    uint8_t Reg40 = 0;
    uint8_t Reg60 = 0;
    uint8_t Reg80 = 0;
    uint8_t RegE0 = 0;
    bool operator==(const OperatorPatch&) const = default;
};

constexpr int kOperatorCount = 6;
constexpr int kConnectionCount = 8;
constexpr int kFeedbackCount = 8;

// Operators 1-6 in the order of the frames whose controls carry Tag 0-5.
struct SynthPatch {
    std::array<OperatorPatch, kOperatorCount> Ops;
    uint8_t RegC0Ops12 = 0;
    uint8_t RegC0Ops34 = 0;
    uint8_t RegC0Ops56 = 0;
    bool operator==(const SynthPatch&) const = default;
};

#pragma pack(push, 1)
// Stored byte for byte in six-operator preset files: little-endian.
struct PatchSettings {
    uint8_t CcMask = 0; // bit i: operator i+1 follows MIDI controllers
    uint8_t Reserved = 0;
    int16_t Transpose = 0; // cents
    int16_t Tuning1 = 0;   // cents, four-operator voice
    int16_t Tuning2 = 0;   // cents, two-operator voice
    uint8_t Outputs = 0;   // bit 0 A, 1 B, 2 A2, 3 B2
    uint8_t LfoDepth = 0;  // bit 0 tremolo depth, bit 1 vibrato depth
    uint8_t Volume = 0;    // 0..31
    int8_t Pan = 0;        // -64..63
    bool operator==(const PatchSettings&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(PatchSettings) == 12, "PatchSettings is stored as 12 bytes");
static_assert(offsetof(PatchSettings, Transpose) == 2);
static_assert(offsetof(PatchSettings, Tuning1) == 4);
static_assert(offsetof(PatchSettings, Tuning2) == 6);
static_assert(offsetof(PatchSettings, Outputs) == 8);
static_assert(offsetof(PatchSettings, Pan) == 11);

namespace outputs {
constexpr uint8_t kA = 0x01;
constexpr uint8_t kB = 0x02;
constexpr uint8_t kA2 = 0x04;
constexpr uint8_t kB2 = 0x08;
} // namespace outputs

namespace lfo {
constexpr uint8_t kTremoloDeep = 0x01;
constexpr uint8_t kVibratoDeep = 0x02;
} // namespace lfo

// Byte image of the settings as stored in a file, and back.
std::array<uint8_t, 12> SettingsToBytes(const PatchSettings& settings);
PatchSettings SettingsFromBytes(const std::array<uint8_t, 12>& bytes);

// Item texts of the connection and feedback combo boxes, by index.
extern const std::array<const char*, kConnectionCount> kConnectionTexts;
extern const std::array<const char*, kFeedbackCount> kFeedbackTexts;
// Item texts of the two depth lists: shallow, deep.
extern const std::array<const char*, 2> kTremoloDepthTexts;
extern const std::array<const char*, 2> kVibratoDepthTexts;

// Connection index 0..7 from the CNT bits of the three channel bytes.
int ConnectionIndex(const SynthPatch& patch);
// Sets the CNT bits of the three channel bytes from a connection index.
void SetConnectionBits(SynthPatch& patch, int index);
// "img/cnt<index>.jpg", relative to the working directory.
std::string ConnectionPicturePath(int index);

// Tuning texts: leading blanks, optional sign, decimal digits up to the
// first non-digit; no digits reads as 0 ("0 cents" is 0). Numbers beyond
// the 32-bit range saturate.
int32_t ParseCents(const std::string& text);
// 0 is shown as "0 cents", anything else as plain signed decimal.
std::string FormatCents(int32_t cents);
// Stored in a settings field: truncated to 16 bits (70000 becomes 4464).
int16_t CentsToField(int32_t cents);

extern const std::array<const char*, 14> kTuningItems;
