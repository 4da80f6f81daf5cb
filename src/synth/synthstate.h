#pragma once
// What the synthesizer holds besides the chip: the patch and the settings
// as values, as the window shows them. A plain value, copied whole to
// whoever shows it. No Qt.
#include "synth/controllermap.h"
#include "synth/noterules.h"
#include "synth/operatorfields.h"

#include <array>
#include <cstdint>
#include <string>

struct OperatorState {
    std::array<int, kOperatorFieldCount> fields = kDefaultFieldValues;
    bool cc = false; // follows controllers and velocity
    bool operator==(const OperatorState&) const = default;
};

// The three tuning lists: the transpose of both voices and the tuning of
// each. Their texts are free, read as cents at every note and bend.
enum class Tuning : uint8_t { Transpose, Voice1, Voice2 };
inline constexpr int kTuningCount = 3;

struct TuningState {
    // How the text reads: an item of the list, a number the program wrote,
    // or what the user typed (only the window has that text).
    enum class Text : uint8_t { Item, Number, Typed };

    int index = -1; // the list's selected item, -1 for none
    int32_t cents = 0;
    Text text = Text::Typed;  // "0 cents" at first
    bool matchesItem = false; // the text is the selected item's own
    uint32_t serial = 0;      // counts the texts the synthesizer wrote
    bool operator==(const TuningState&) const = default;

    // The text the synthesizer wrote; empty for a typed one.
    std::string Shown() const;
};

// A user's edit of a tuning list: its item and its text.
TuningState TuningFromText(int index, const std::string& text);

// Voice settings of the patch set from the window's lists and check boxes.
enum class VoiceField : uint8_t {
    Feedback,
    Feedback2,
    Connection,
    TremoloDepth,
    VibratoDepth,
    OutputA,
    OutputB,
    OutputA2,
    OutputB2,
};
inline constexpr int kVoiceFieldCount = 9;

// The card's output: level 0..31 (the card holds 31 - level as its
// attenuation) and pan -64..63.
inline constexpr int kOutputLevelMax = 31;
inline constexpr int kPanMin = -64, kPanMax = 63;

// The last binding MIDI learn made: the row, its controller and the row
// that had it before (-1: none); the serial counts them.
struct LearnedBinding {
    int row = -1, number = kUnbound, lost = -1;
    uint32_t serial = 0;
    bool operator==(const LearnedBinding&) const = default;
};

struct SynthState {
    std::array<OperatorState, kOperatorCount> ops{};
    // By VoiceField: list items, then the four outputs as 0 or 1.
    std::array<int, kVoiceFieldCount> voice = {0, 0, 6, 0, 0, 1, 1, 1, 1};
    std::array<TuningState, kTuningCount> tunings{};
    int volume = 0; // card output level 0..31
    int pan = 0;    // -64..63
    bool mute = false;
    bool chord = false; // each note also sounds 4 and 7 semitones up
    int channel = 0;    // 0..15; -1 listens to none
    int poly = 0;       // sounding note slots

    // The preset list: the item selected, and a count of the selections the
    // synthesizer made (program change, keyboard step), which the list shows.
    int presetIndex = -1;
    uint32_t presetSerial = 0;
    // "Preset" (kPlainLabel) or "Preset n"; the count of labels it wrote.
    static constexpr int kPlainLabel = -1000;
    int presetLabel = kPlainLabel;
    uint32_t presetLabelSerial = 0;

    std::array<int, kControllerRowCount> controllers = [] {
        std::array<int, kControllerRowCount> numbers{};
        for (int row = 0; row < kControllerRowCount; ++row)
            numbers[row] = kControllerRows[row].defaultNumber;
        return numbers;
    }();

    // The pedals, the bend range and learn.
    bool pedalsEnabled = true; // controllers 64 and 66 hold notes when no row takes them
    bool sustain = false, sostenuto = false; // the pedals down
    int bendRange = kDefaultBendRange;       // cents either way
    int learnRow = -1;                       // the row the next controller binds to; -1: none
    LearnedBinding learned{};

    // Undo and compare: the steps each way, and which memory sounds.
    int undoSteps = 0, redoSteps = 0;
    bool comparingB = false;

    bool operator==(const SynthState&) const = default;
};

// The whole-patch records of a state: what a preset of it stores.
SynthPatch SynthPatchOf(const SynthState& state);
PatchSettings PatchSettingsOf(const SynthState& state);
