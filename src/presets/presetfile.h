#pragma once
// The bytes of a preset file, over memory only: the store does the file I/O.
//
// Header, every kind:
//     0  kind '2', '4' or '6' ('S' in a plain SBI instrument file)
//   1-2  "OP" ("BI")
//     3  0x1A
//  4-35  name, zero padded, no terminating zero when 32 characters long
// Then one 11-byte block per channel: Reg20, Reg40, Reg60, Reg80, RegE0 of
// the channel's two operators interleaved (first, second), then its 0xC0 byte.
//   2op  52 bytes  36: operators 5-6                    47-51 zero
//   4op  60 bytes  36: operators 1-2  47: operators 3-4  58-59 zero
//   6op  82 bytes  36: 1-2  47: 3-4  58: 5-6  69 zero  70-81 PatchSettings
// The two-operator kind is the common 52-byte SBI instrument layout, with
// operator 5 as its modulator and operator 6 as its carrier.
#include "presets/patchrecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum class PresetKind { TwoOperator, FourOperator, SixOperator };

constexpr size_t kPresetNameOffset = 4;
constexpr size_t kPresetNameSize = 32;
constexpr size_t kMaxPresetFileSize = 82;

// The bank folders, in the order the bank list shows them, and the kind
// each holds.
inline constexpr std::array<const char*, 3> kBankNames = {"2op", "4op", "6op"};
inline constexpr std::array<PresetKind, 3> kBankKinds = {
    PresetKind::TwoOperator, PresetKind::FourOperator, PresetKind::SixOperator};

// One channel's 11-byte block, as presets and SBI instruments hold it: the
// five images of its two operators interleaved, then the channel byte.
constexpr size_t kPairBlockSize = 11;
void DecodePairBlock(std::span<const uint8_t> block, OperatorPatch& first, OperatorPatch& second,
                     uint8_t& channel);

// The kind a bank folder holds: one of kBankNames, compared exactly.
std::optional<PresetKind> KindOfBank(std::string_view bank);
size_t PresetFileSize(PresetKind kind);

// The file of one kind. The name goes into the header, cut to 32 bytes.
std::vector<uint8_t> EncodePreset(PresetKind kind, std::string_view name, const SynthPatch& patch,
                                  const PatchSettings& settings);

// Reads a preset into the records, changing only what its kind carries:
//   2op (or SBI)  operators 5-6; feedback and CNT of RegC0Ops56
//   4op           operators 1-4; feedback and CNT of RegC0Ops12, CNT of
//                 RegC0Ops34 (its feedback bits become 0)
//   6op           everything; the channel bytes' outputs follow the settings
// The kind comes from the size and bytes 0-2 alone. False for anything else,
// and then neither record is touched.
bool DecodePreset(std::span<const uint8_t> bytes, SynthPatch& patch, PatchSettings& settings);
