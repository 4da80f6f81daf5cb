#pragma once
// The starter presets shipped in data/2op, data/4op and data/6op, described
// in the units of the operator frames and the main window, and built into
// the records that the preset files store.
#include "presets/patchrecord.h"
#include "presets/presetfile.h"

#include <string>
#include <vector>

namespace starters {

enum Wave : uint8_t {
    Sine,
    HalfSine,
    AbsSine,
    QuarterSine,
    AlternatingSine,
    CamelSine,
    Square,
    LogSaw
};

// Key scale level: attenuation that grows with pitch.
enum Ksl : uint8_t { KslOff = 0, Ksl3dB = 1, Ksl1_5dB = 2, Ksl6dB = 3 };

// One operator as its frame shows it. Rates run 0 (stopped) to 15 (instant);
// at middle C without rate scaling, decay and release rates 3, 4, 5, 6, 7, 8
// fall about 15, 30, 60, 120, 240, 470 dB a second, and attack rates 3, 4,
// 5, 6, 8 rise in about 470, 240, 120, 60, 15 ms. Rate scaling speeds up
// high notes by up to two rate steps more.
struct Operator {
    uint8_t mult = 1;    // multiplier index: 0 = 1/2, 1-10, 12, 15
    uint8_t level = 0;   // 0-63, 63 loudest; 0.75 dB a step
    uint8_t attack = 15; // rate
    uint8_t decay = 0;   // rate, down to the sustain level
    uint8_t sustain = 0; // 0 (peak) to 15, 3 dB a step down
    uint8_t release = 8; // rate, after the key is let go
    bool hold = true;    // off: past the sustain level it fades at the release rate
    Ksl ksl = KslOff;    // how much quieter high notes are
    bool rateScaling = false;
    bool tremolo = false;
    bool vibrato = false;
    Wave wave = Sine;
};

// The four-operator voice: a prime marks feedback, "." a serial link.
enum class Chain : uint8_t {
    Serial = 0,       // 1' . 2 . 3 . 4
    OneAndSerial = 1, // 1' + (2 . 3 . 4)
    TwoPairs = 2,     // (1' . 2) + (3 . 4)
    OnePairFour = 3,  // 1' + (2 . 3) + 4
};

struct FourOperatorVoice {
    Chain chain;
    uint8_t feedback; // of operator 1, 0-7: off, PI/16 .. PI x 4
    Operator ops[4];
};

// The two-operator voice: 5' . 6, or 5' + 6 when additive.
struct TwoOperatorVoice {
    bool additive;
    uint8_t feedback; // of operator 5
    Operator ops[2];
};

struct SixOperatorPreset {
    const char* name;
    FourOperatorVoice four;
    TwoOperatorVoice two;
    int16_t transpose, tuning1, tuning2; // cents
    bool deepTremolo = false, deepVibrato = false;
};

struct FourOperatorPreset {
    const char* name;
    FourOperatorVoice voice;
};

struct TwoOperatorPreset {
    const char* name;
    TwoOperatorVoice voice;
};

extern const std::vector<SixOperatorPreset> kSixOperatorPresets;
extern const std::vector<FourOperatorPreset> kFourOperatorPresets;
extern const std::vector<TwoOperatorPreset> kTwoOperatorPresets;

// A preset ready for its file: the records hold it on top of the Default
// patch with the start-up window settings, as if built in the program.
struct Starter {
    std::string bank; // "2op", "4op", "6op"
    std::string name;
    PresetKind kind;
    SynthPatch patch;
    PatchSettings settings;
};

std::vector<Starter> Library();

// What a fresh start of the program holds: Default operators, connection 6,
// every output on, volume 25, no tuning.
SynthPatch DefaultPatch();
PatchSettings DefaultSettings();

} // namespace starters
