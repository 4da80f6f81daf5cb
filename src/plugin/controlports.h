#pragma once
// The plugin's control ports as a table: one row per parameter of the
// patch and the settings, built from the core's own field tables, so the
// window, the ports, the presets and the generated plugin description all
// read the same rows. A port's value is the control's value as the window
// holds it (a list's item, a bar's position, a check box's 0 or 1, cents).
// No Qt, no LV2 headers.
#include "presets/presetfile.h"
#include "synth/synthstate.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace plugin {

// Port indices: the audio outputs and the MIDI input, then the controls.
inline constexpr uint32_t kLeftOut = 0, kRightOut = 1, kMidiIn = 2, kFirstControl = 3;

// How a host shows a port: a switch, a number, or a list of named items.
enum class PortKind : uint8_t { Toggle, Integer, List };

// What a port sets.
enum class PortTarget : uint8_t {
    Field,   // an operator's field (index: its row in kOperatorFields)
    Follows, // an operator follows velocity and controllers
    Voice,   // a voice setting (index: VoiceField)
    Volume,
    Pan,
    Mute,
    Chord,
    Tuning,  // index: Tuning
    Channel, // 0: every channel (omni), 1-16
    Bank,    // the bank program changes choose from (index into kBankNames)
};

struct ControlPort {
    std::string symbol, name;
    std::string group; // the symbol of its group of ports
    PortTarget target;
    int op = -1;   // 0-5 for an operator's port
    int index = 0; // see PortTarget
    PortKind kind;
    int minimum, maximum;
    std::span<const char* const> items = {}; // a list's items, minimum first
    bool cents = false;                      // the value is in cents
};

// Settings the plugin holds beside the core's.
struct PlayerSettings {
    bool omni = true; // every channel plays, whatever the core's channel
    int bank = 2;     // index into kBankNames: "6op"
    bool operator==(const PlayerSettings&) const = default;
};

// The tunings' range on their ports, in cents (the core holds any).
inline constexpr int kTuningPortLimit = 7200;

// Every control port, in index order from kFirstControl on.
const std::vector<ControlPort>& ControlPorts();

// Port groups by symbol, with their labels, in the order they are shown.
struct PortGroup {
    const char* symbol;
    const char* label;
};
std::span<const PortGroup> PortGroups();

// The value a port shows for a state: what the window's control would
// show, inside the port's range.
int PortValueOf(const ControlPort& port, const SynthState& state, const PlayerSettings& settings);

// Whether a preset of that kind sets the port: every port of the patch,
// and the output's volume and pan where its file holds them (six
// operators); never the mute, chord, channel or bank.
bool PresetSets(const ControlPort& port, PresetKind kind);

// A host's port value as the control would take it: rounded and held in
// range; a switch is on above zero.
int PortValueFrom(const ControlPort& port, float value);

} // namespace plugin
