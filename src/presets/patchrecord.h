#pragma once
// The patch records: register images of one six-operator patch and the
// main-window settings that travel with a six-operator preset.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Register images of one operator.
//   Reg20  7 AM  6 VIB  5 EGT (hold)  4 KSR  3-0 MULT
//   Reg40  7-6 KSL  5-0 TL (63 - level)
//   Reg60  7-4 AR  3-0 DR
//   Reg80  7-4 SL  3-0 RR
//   RegE0  2-0 WS
struct OperatorPatch {
    uint8_t Reg20 = 0;
    uint8_t Reg40 = 0;
    uint8_t Reg60 = 0;
    uint8_t Reg80 = 0;
    uint8_t RegE0 = 0;
    bool operator==(const OperatorPatch&) const = default;
};

namespace reg {
constexpr uint8_t kTremolo = 0x80;
constexpr uint8_t kVibrato = 0x40;
constexpr uint8_t kHold = 0x20;
constexpr uint8_t kRateScaling = 0x10;
constexpr uint8_t kMultMask = 0x0F;
constexpr uint8_t kKslMask = 0xC0;
constexpr int kKslShift = 6;
constexpr uint8_t kTlMask = 0x3F;
constexpr uint8_t kHighNibble = 0xF0;
constexpr uint8_t kLowNibble = 0x0F;
constexpr uint8_t kWaveMask = 0x07;
// Channel byte (0xC0):  5 output B (right)  4 output A (left)  3-1 FB  0 CNT
constexpr uint8_t kCnt = 0x01;
constexpr uint8_t kFbMask = 0x0E;
constexpr int kFbShift = 1;
constexpr uint8_t kOutA = 0x10;
constexpr uint8_t kOutB = 0x20;
// 0xBD: 7 tremolo depth  6 vibrato depth
constexpr uint8_t kTremoloDepth = 0x80;
constexpr uint8_t kVibratoDepth = 0x40;
// 0xB0: 5 key on  4-2 block  1-0 F-number bits 8-9
constexpr uint8_t kKeyOn = 0x20;
constexpr uint8_t kBlockMask = 0x1C;
constexpr uint8_t kFHighMask = 0x03;
} // namespace reg

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

// Connection index 0..7 from the CNT bits of the three channel bytes.
int ConnectionIndex(const SynthPatch& patch);
// Sets the CNT bits of the three channel bytes from a connection index.
void SetConnectionBits(SynthPatch& patch, int index);
// "img/cnt<index>.jpg", relative to the working directory.
std::string ConnectionPicturePath(int index);

// Tuning texts: leading blanks, optional sign, decimal digits up to the
// first non-digit; no digits reads as 0 ("0 cents" is 0).
int32_t ParseCents(const std::string& text);
// 0 is shown as "0 cents", anything else as plain signed decimal.
std::string FormatCents(int32_t cents);
// Stored in a settings field: truncated to 16 bits (70000 becomes 4464).
int16_t CentsToField(int32_t cents);

extern const std::array<const char*, 14> kTuningItems;
