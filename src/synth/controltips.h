#pragma once
// What each control of the windows means, in a musician's words, with the
// value it holds: the texts of their tooltips. Each takes the state the
// window shows and the value the control holds (or is being dragged to).
// Times and levels come from the chip's own tables, at the note played
// last. No Qt.
#include "synth/synthstate.h"

#include <cstdint>
#include <string>
#include <string_view>

// "C4" for note 60.
std::string NoteName(int note);
// "0.35 ms", "12 ms", "1.2 s".
std::string DurationText(double ms);
// "an octave up", "7 semitones down", "5 cents up", "no change".
std::string IntervalText(int32_t cents);

// Whether an operator is heard in a connection (a carrier) rather than
// modulating another.
bool OperatorIsHeard(int connection, int op);
// The key-scale number of an operator's voice at the note played last.
int OperatorKeyScale(const SynthState& state, int op);

// A field of an operator frame (a row of kOperatorFields) at value.
std::string OperatorTip(const SynthState& state, int op, size_t field, int value);
// The operator's "CC" switch.
std::string CcSwitchTip(bool on);
// The voice-wide lists and output check boxes.
std::string VoiceTip(VoiceField field, int value);
std::string TuningTip(Tuning which, int32_t cents);
// The card's output.
std::string OutputVolumeTip(int volume);
std::string PanTip(int volume, int pan);
std::string MuteTip(bool on);
// The MIDI and keyboard panels.
std::string ChordTip(bool on);
std::string ChannelTip(int channel);
std::string MidiInputTip(std::string_view name);
// The preset panel: bank is an item of the bank list, name the text in
// the preset box.
std::string BankTip(int bank);
std::string SavePresetTip(std::string_view name, int bank);
std::string ResetPresetTip(std::string_view name);
// A value of the controller window: a controller number, or "-1".
std::string ControllerValueTip(std::string_view text);
