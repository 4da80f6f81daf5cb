#include "plugin/controlports.h"

#include <algorithm>
#include <cmath>

namespace plugin {

namespace {

// How each operator field is named on its port. By row of kOperatorFields.
struct FieldPort {
    const char* symbol;
    const char* name;
};
constexpr std::array<FieldPort, kOperatorFieldCount> kFieldPorts = [] {
    std::array<FieldPort, kOperatorFieldCount> ports{};
    ports[kFieldTremolo] = {"tremolo", "Tremolo"};
    ports[kFieldVibrato] = {"vibrato", "Vibrato"};
    ports[kFieldHold] = {"hold", "Sustain Hold"};
    ports[kFieldRateScaling] = {"ksr", "Key Scale Rate"};
    ports[kFieldMultiplier] = {"mult", "Multiplier (cents)"};
    ports[kFieldLevelScaling] = {"ksl", "Key Scale Level"};
    ports[kFieldVolume] = {"level", "Level"};
    ports[kFieldAttack] = {"attack", "Attack"};
    ports[kFieldDecay] = {"decay", "Decay"};
    ports[kFieldSustain] = {"sustain", "Sustain Level"};
    ports[kFieldRelease] = {"release", "Release"};
    ports[kFieldWaveform] = {"wave", "Waveform"};
    return ports;
}();

// An operator's ports in the order a host lists them: the sound, the
// envelope, then the modulation and scaling switches.
constexpr std::array<size_t, kOperatorFieldCount> kFieldPortOrder = {
    kFieldWaveform, kFieldMultiplier, kFieldVolume,      kFieldAttack,
    kFieldDecay,    kFieldSustain,    kFieldRelease,     kFieldHold,
    kFieldTremolo,  kFieldVibrato,    kFieldRateScaling, kFieldLevelScaling};

constexpr std::array<const char*, 17> kChannelItems = {
    "Omni", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"};

constexpr std::array<PortGroup, 11> kGroups = {{
    {"op1", "Operator 1"},
    {"op2", "Operator 2"},
    {"op3", "Operator 3"},
    {"op4", "Operator 4"},
    {"op5", "Operator 5"},
    {"op6", "Operator 6"},
    {"patch", "Patch"},
    {"voice1", "Voice 1-4"},
    {"voice2", "Voice 5-6"},
    {"output", "Output"},
    {"playing", "Playing"},
}};

ControlPort OperatorPort(int op, size_t field) {
    const std::string number = std::to_string(op + 1);
    const OperatorField& row = kOperatorFields[field];
    ControlPort port;
    port.symbol = "op" + number + "_" + kFieldPorts[field].symbol;
    port.name = "Op " + number + " " + kFieldPorts[field].name;
    port.group = "op" + number;
    port.target = PortTarget::Field;
    port.op = op;
    port.index = static_cast<int>(field);
    port.kind = row.kind == ControlKind::Check  ? PortKind::Toggle
                : row.kind == ControlKind::List ? PortKind::List
                                                : PortKind::Integer;
    port.minimum = 0;
    port.maximum = static_cast<int>(row.bits.Max());
    port.items = row.items;
    return port;
}

ControlPort Port(std::string symbol, std::string name, std::string group, PortTarget target,
                 int index, PortKind kind, int minimum, int maximum,
                 std::span<const char* const> items = {}) {
    ControlPort port;
    port.symbol = std::move(symbol);
    port.name = std::move(name);
    port.group = std::move(group);
    port.target = target;
    port.index = index;
    port.kind = kind;
    port.minimum = minimum;
    port.maximum = maximum;
    port.items = items;
    return port;
}

ControlPort VoicePort(const char* symbol, const char* name, const char* group, VoiceField field) {
    const int index = static_cast<int>(field);
    switch (field) {
    case VoiceField::Feedback:
    case VoiceField::Feedback2:
        return Port(symbol, name, group, PortTarget::Voice, index, PortKind::List, 0,
                    kFeedbackCount - 1, kFeedbackTexts);
    case VoiceField::Connection:
        return Port(symbol, name, group, PortTarget::Voice, index, PortKind::List, 0,
                    kConnectionCount - 1, kConnectionTexts);
    case VoiceField::TremoloDepth:
        return Port(symbol, name, group, PortTarget::Voice, index, PortKind::List, 0, 1,
                    kTremoloDepthTexts);
    case VoiceField::VibratoDepth:
        return Port(symbol, name, group, PortTarget::Voice, index, PortKind::List, 0, 1,
                    kVibratoDepthTexts);
    default:
        return Port(symbol, name, group, PortTarget::Voice, index, PortKind::Toggle, 0, 1);
    }
}

ControlPort TuningPort(const char* symbol, const char* name, const char* group, Tuning which) {
    ControlPort port = Port(symbol, name, group, PortTarget::Tuning, static_cast<int>(which),
                            PortKind::Integer, -kTuningPortLimit, kTuningPortLimit);
    port.cents = true;
    return port;
}

std::vector<ControlPort> MakeControlPorts() {
    std::vector<ControlPort> ports;
    for (int op = 0; op < kOperatorCount; ++op) {
        for (size_t field : kFieldPortOrder)
            ports.push_back(OperatorPort(op, field));
        const std::string number = std::to_string(op + 1);
        ControlPort follows =
            Port("op" + number + "_cc", "Op " + number + " Velocity and Controllers", "op" + number,
                 PortTarget::Follows, 0, PortKind::Toggle, 0, 1);
        follows.op = op;
        ports.push_back(follows);
    }
    using V = VoiceField;
    ports.push_back(VoicePort("connection", "Connection", "patch", V::Connection));
    ports.push_back(VoicePort("tremolo_depth", "Tremolo Depth", "patch", V::TremoloDepth));
    ports.push_back(VoicePort("vibrato_depth", "Vibrato Depth", "patch", V::VibratoDepth));
    ports.push_back(TuningPort("transpose", "Transpose", "patch", Tuning::Transpose));
    ports.push_back(VoicePort("feedback1", "Op 1 Feedback", "voice1", V::Feedback));
    ports.push_back(TuningPort("tuning1", "Voice 1-4 Tuning", "voice1", Tuning::Voice1));
    ports.push_back(VoicePort("out1_left", "Voice 1-4 Left", "voice1", V::OutputA));
    ports.push_back(VoicePort("out1_right", "Voice 1-4 Right", "voice1", V::OutputB));
    ports.push_back(VoicePort("feedback2", "Op 5 Feedback", "voice2", V::Feedback2));
    ports.push_back(TuningPort("tuning2", "Voice 5-6 Tuning", "voice2", Tuning::Voice2));
    ports.push_back(VoicePort("out2_left", "Voice 5-6 Left", "voice2", V::OutputA2));
    ports.push_back(VoicePort("out2_right", "Voice 5-6 Right", "voice2", V::OutputB2));
    ports.push_back(Port("volume", "Volume", "output", PortTarget::Volume, 0, PortKind::Integer, 0,
                         kOutputLevelMax));
    ports.push_back(
        Port("pan", "Pan", "output", PortTarget::Pan, 0, PortKind::Integer, kPanMin, kPanMax));
    ports.push_back(Port("mute", "Mute", "output", PortTarget::Mute, 0, PortKind::Toggle, 0, 1));
    ports.push_back(
        Port("chord", "Major Chord", "playing", PortTarget::Chord, 0, PortKind::Toggle, 0, 1));
    ports.push_back(Port("channel", "MIDI Channel", "playing", PortTarget::Channel, 0,
                         PortKind::List, 0, 16, kChannelItems));
    ports.push_back(Port("bank", "Program Change Bank", "playing", PortTarget::Bank, 0,
                         PortKind::List, 0, static_cast<int>(kBankNames.size()) - 1, kBankTexts));
    return ports;
}

int Clamp(const ControlPort& port, int value) {
    return std::clamp(value, port.minimum, port.maximum);
}

} // namespace

const std::vector<ControlPort>& ControlPorts() {
    static const std::vector<ControlPort> ports = MakeControlPorts();
    return ports;
}

std::span<const PortGroup> PortGroups() {
    return kGroups;
}

int PortValueOf(const ControlPort& port, const SynthState& state, const PlayerSettings& settings) {
    switch (port.target) {
    case PortTarget::Field: {
        const int value = state.ops[port.op].fields[port.index];
        // A list without a selection stands for what the chip was sent.
        if (value < port.minimum || value > port.maximum)
            return static_cast<int>(kOperatorFields[port.index].noSelection);
        return value;
    }
    case PortTarget::Follows:
        return state.ops[port.op].cc ? 1 : 0;
    case PortTarget::Voice:
        return Clamp(port, state.voice[port.index]);
    case PortTarget::Volume:
        return Clamp(port, state.volume);
    case PortTarget::Pan:
        return Clamp(port, state.pan);
    case PortTarget::Mute:
        return state.mute ? 1 : 0;
    case PortTarget::Chord:
        return state.chord ? 1 : 0;
    case PortTarget::Tuning:
        return Clamp(port, state.tunings[port.index].cents);
    case PortTarget::Channel:
        return settings.omni ? 0 : Clamp(port, state.channel + 1);
    case PortTarget::Bank:
        return Clamp(port, settings.bank);
    }
    return port.minimum;
}

bool PresetSets(const ControlPort& port, PresetKind kind) {
    switch (port.target) {
    case PortTarget::Field:
    case PortTarget::Follows:
    case PortTarget::Voice:
    case PortTarget::Tuning:
        return true;
    case PortTarget::Volume:
    case PortTarget::Pan:
        return kind == PresetKind::SixOperator;
    default:
        return false;
    }
}

int PortValueFrom(const ControlPort& port, float value) {
    if (port.kind == PortKind::Toggle) return value > 0 ? 1 : 0;
    if (std::isnan(value)) return port.minimum;
    const float held =
        std::clamp(value, static_cast<float>(port.minimum), static_cast<float>(port.maximum));
    return static_cast<int>(std::lround(held));
}

} // namespace plugin
