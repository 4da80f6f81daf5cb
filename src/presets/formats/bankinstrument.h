#pragma once
// One instrument of a bank file, whatever the format: its name, its kind and
// its operators as this program's register images, and the rule that puts it
// into the six-operator patch the way a preset of its kind goes in.
#include "presets/patchrecord.h"
#include "presets/presetfile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How the operators of an instrument are joined.
enum class VoiceLayout {
    OnePair,      // one two-operator voice
    FourOperator, // one four-operator voice: pairs 1-2 and 3-4 of one OPL3 four-operator channel
    TwoPairs,     // two two-operator voices sounding together (double voice, pseudo four-operator)
};

enum class InstrumentKind { TwoOperator, FourOperator, DoubleVoice, Percussion };

// One channel's two operators and its 0xC0 image. Only the feedback and
// connection bits of RegC0 are kept: outputs belong to the patch.
struct OperatorPair {
    OperatorPatch Modulator;
    OperatorPatch Carrier;
    uint8_t RegC0 = 0;
    bool operator==(const OperatorPair&) const = default;
};

struct BankInstrument {
    std::string Name; // as the file holds it, control characters taken out; may be empty
    VoiceLayout Layout = VoiceLayout::OnePair;
    bool Percussion = false;
    // The first pair is operators 1-2 of a four-operator voice or the first
    // voice; the second is operators 3-4 or the second voice.
    std::array<OperatorPair, 2> Pairs{};
    std::array<int16_t, 2> NoteOffset{}; // semitones, per voice
    std::optional<uint8_t> FixedNote;    // the MIDI note it always plays
    int16_t FineTune = 0;                // cents, of the second voice against the first
    std::string Bank;                    // a named part of the file (WOPL's banks); may be empty
    size_t Index = 0;                    // its place in the file, from 0
    std::string File;                    // the bank file it came from

    InstrumentKind Kind() const;
    // The name, or the number when the file gives it none.
    std::string Label() const;
    bool operator==(const BankInstrument&) const = default;
};

// A place of a fixed-size bank that holds nothing: every register byte zero,
// which never sounds (attack rate 0).
bool IsEmpty(const BankInstrument& instrument);

// Whether every word of `search` (blank-separated) is found in the
// instrument's name, its bank's name or its file's name, without regard to
// the case of ASCII letters. An empty search finds every instrument.
bool MatchesSearch(const BankInstrument& instrument, std::string_view search);

// "2-op", "4-op", "pseudo-4-op", "percussion".
std::string_view KindName(InstrumentKind kind);

// The part of the six-operator patch an instrument goes to: a four-operator
// one to operators 1-4; a double voice to 1-2 and 3-4 where both its voices
// are FM pairs, which connection "(1' . 2) + (3 . 4)" plays as they are
// (the second voice's feedback is lost, operator 3 has none, and both
// voices take the first one's tuning); everything else to operators 5-6,
// a double voice with its first voice.
PresetKind PresetKindFor(const BankInstrument& instrument);

// Changes what a preset of that kind changes: the operators of its part and
// the feedback and connection bits of their channel bytes; outputs stay.
void ApplyInstrument(const BankInstrument& instrument, SynthPatch& patch);

// The tuning, in cents, of the voice the instrument goes to: its note offset.
int32_t InstrumentCents(const BankInstrument& instrument);
