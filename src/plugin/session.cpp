#include "plugin/session.h"

#include "hardware/littleendian.h"
#include "presets/presetfile.h"

#include <algorithm>
#include <cstring>

namespace plugin {

namespace {
constexpr uint8_t kMagic[4] = {'V', '8', '0', '1'};
constexpr uint8_t kVersion = 1;
constexpr size_t kFlagsAt = 5, kChannelAt = 6, kBankAt = 7, kPresetAt = 8, kControllersAt = 10,
                 kPatchAt = 54;
constexpr uint8_t kMute = 1, kChord = 2, kOmni = 4;
constexpr size_t kPatchSize = 82;
static_assert(kControllersAt + 2 * kControllerRowCount == kPatchAt);
static_assert(kPatchAt + kPatchSize == kSessionSize);
} // namespace

Session SessionOf(const SynthState& state, const PlayerSettings& player, std::string name) {
    Session s;
    s.patch = SynthPatchOf(state);
    s.settings = PatchSettingsOf(state);
    s.name = std::move(name);
    s.mute = state.mute;
    s.chord = state.chord;
    s.channel = state.channel;
    s.player = player;
    s.presetIndex = state.presetIndex;
    s.controllers = state.controllers;
    return s;
}

std::vector<uint8_t> EncodeSession(const Session& s) {
    std::vector<uint8_t> bytes(kSessionSize, 0);
    std::copy(std::begin(kMagic), std::end(kMagic), bytes.begin());
    bytes[4] = kVersion;
    bytes[kFlagsAt] = static_cast<uint8_t>((s.mute ? kMute : 0) | (s.chord ? kChord : 0) |
                                           (s.player.omni ? kOmni : 0));
    bytes[kChannelAt] = static_cast<uint8_t>(static_cast<int8_t>(s.channel));
    bytes[kBankAt] = static_cast<uint8_t>(s.player.bank);
    WriteLittleEndian(&bytes[kPresetAt], static_cast<int16_t>(s.presetIndex));
    for (int row = 0; row < kControllerRowCount; ++row)
        WriteLittleEndian(&bytes[kControllersAt + 2 * row],
                          static_cast<int16_t>(s.controllers[row]));
    const std::vector<uint8_t> patch =
        EncodePreset(PresetKind::SixOperator, s.name, s.patch, s.settings);
    std::copy(patch.begin(), patch.end(), bytes.begin() + kPatchAt);
    return bytes;
}

std::optional<Session> DecodeSession(std::span<const uint8_t> bytes) {
    if (bytes.size() != kSessionSize ||
        !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()) || bytes[4] != kVersion)
        return std::nullopt;
    Session s;
    const std::span<const uint8_t> patch = bytes.subspan(kPatchAt, kPatchSize);
    if (!DecodePreset(patch, s.patch, s.settings) || patch[0] != '6') return std::nullopt;
    const uint8_t flags = bytes[kFlagsAt];
    s.mute = flags & kMute;
    s.chord = flags & kChord;
    s.player.omni = flags & kOmni;
    s.channel = static_cast<int8_t>(bytes[kChannelAt]);
    s.player.bank = bytes[kBankAt];
    s.presetIndex = ReadLittleEndian<int16_t>(&bytes[kPresetAt]);
    if (s.channel < -1 || s.channel > 15 || s.player.bank >= static_cast<int>(kBankNames.size()) ||
        s.presetIndex < -1)
        return std::nullopt;
    for (int row = 0; row < kControllerRowCount; ++row)
        s.controllers[row] = ReadLittleEndian<int16_t>(&bytes[kControllersAt + 2 * row]);
    const auto name = patch.subspan(kPresetNameOffset, kPresetNameSize);
    s.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
    return s;
}

} // namespace plugin
