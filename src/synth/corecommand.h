#pragma once
// One call on the core as a value: what crosses from the window's thread to
// the thread that plays, in a bounded queue. Every kind is a small plain
// record; none owns memory. No Qt.
#include "synth/synthcore.h"

#include <cstdint>
#include <variant>

namespace command {
struct OperatorField {
    int op;
    size_t field;
    int value;
    bool keep; // a list set without its handler: nothing is sent
};
struct Voice {
    VoiceField field;
    int value;
    bool keep;
};
struct VolumePan {
    int volume, pan;
};
struct Mute {
    bool on;
};
struct CcEnabled {
    int op;
    bool on;
};
struct TuningEdit {
    Tuning which;
    TuningState edit;
};
struct Chord {
    bool on;
};
struct Channel {
    int channel;
};
struct ControllerNumber {
    int row, number;
};
struct Paste {
    int op;
    OperatorPatch image;
};
struct Clear {
    int op;
};
struct Patch {
    SynthPatch patch;
};
struct Settings {
    PatchSettings settings;
};
struct Default {};
struct Preset {
    PresetChoice choice;
};
struct Reset {};
struct Bank {
    const PresetBank* bank; // owned by the sender until the core hands it back
};
struct Select {
    int index;
};
struct Midi {
    uint32_t source;
    ShortMessage message;
};
struct Controller {
    uint8_t number, value;
};
struct Velocity {
    uint8_t velocity;
};
struct PedalsEnabled {
    bool on;
};
struct BendRange {
    int cents;
};
struct Learn {
    int row; // -1: stop waiting
};
struct Undo {};
struct Redo {};
struct Gesture {
    bool open; // a drag begins or ends
};
struct ForgetHistory {};
struct SwitchCompare {};
struct CopyAToB {};
} // namespace command

using CoreCommand =
    std::variant<command::OperatorField, command::Voice, command::VolumePan, command::Mute,
                 command::CcEnabled, command::TuningEdit, command::Chord, command::Channel,
                 command::ControllerNumber, command::Paste, command::Clear, command::Patch,
                 command::Settings, command::Default, command::Preset, command::Reset,
                 command::Bank, command::Select, command::Midi, command::Controller,
                 command::Velocity, command::PedalsEnabled, command::BendRange, command::Learn,
                 command::Undo, command::Redo, command::Gesture, command::ForgetHistory,
                 command::SwitchCompare, command::CopyAToB>;

// Runs the command on the core. A bank it replaces is returned (null: none).
const PresetBank* Apply(SynthCore& core, const CoreCommand& command);
