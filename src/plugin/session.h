#pragma once
// What the plugin saves in a host's session and restores from it: the whole
// patch as a six-operator preset file, and the settings that file lacks, in
// a small versioned record. Little-endian:
//
//    0-3   "V801"
//      4   version, 1
//      5   bit 0 mute, bit 1 chord, bit 2 every channel plays (omni)
//      6   MIDI channel 0-15 (-1: none)
//      7   the program-change bank, index of kBankNames
//    8-9   the selected preset of that bank (-1: none)
//  10-53   the 22 controller rows' numbers, 16 bits each (-1: none)
// 54-135   the patch: an 82-byte six-operator preset file
//
// No Qt, no LV2 headers.
#include "plugin/controlports.h"
#include "presets/patchrecord.h"
#include "synth/synthstate.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace plugin {

struct Session {
    SynthPatch patch;
    PatchSettings settings;
    std::string name; // in the preset file: the selected preset's, or empty
    bool mute = false;
    bool chord = false;
    int channel = 0;
    PlayerSettings player;
    int presetIndex = -1;
    std::array<int, kControllerRowCount> controllers{};
    bool operator==(const Session&) const = default;
};

inline constexpr size_t kSessionSize = 136;

Session SessionOf(const SynthState& state, const PlayerSettings& player, std::string name);
std::vector<uint8_t> EncodeSession(const Session& session);
// Nothing for bytes of another size, magic or version, or a patch that is
// no six-operator preset.
std::optional<Session> DecodeSession(std::span<const uint8_t> bytes);

} // namespace plugin
