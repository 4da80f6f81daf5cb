#include "library.h"

#include "hardware/opl3regs.h"

namespace starters {

// Each table keeps one operator to a line; the formatter would spread it out.
// clang-format off

// Levels: the carriers put one note (C4, velocity 100) near -17 dBFS at the
// card's start volume, in every bank alike. Six notes struck at once add up
// to 15 dB at their onset and still stay under full scale.

// Six-operator presets: both voices on every note, tuned apart.
const std::vector<SixOperatorPreset> kSixOperatorPresets = {
    // Two hammered string pairs a few cents apart; the modulators fade fast,
    // so the tone mellows as it rings, and faster the higher the note.
    {.name = "Grand Piano",
     .four = {.chain = Chain::TwoPairs, .feedback = 2, .ops = {
        {.mult = 1, .level = 46, .decay = 4, .sustain = 4, .ksl = Ksl3dB},
        {.mult = 1, .level = 45, .decay = 2, .sustain = 15, .release = 8, .rateScaling = true},
        {.mult = 3, .level = 36, .decay = 6, .sustain = 10, .ksl = Ksl3dB},
        {.mult = 2, .level = 31, .decay = 3, .sustain = 15, .release = 8, .rateScaling = true}}},
     .two = {.additive = false, .feedback = 1, .ops = {
        {.mult = 1, .level = 40, .decay = 4, .sustain = 5, .ksl = Ksl3dB},
        {.mult = 1, .level = 41, .decay = 2, .sustain = 15, .release = 8, .rateScaling = true}}},
     .transpose = 0, .tuning1 = -2, .tuning2 = 2},

    // Brighter, shorter, and the two voices beat against each other.
    {.name = "Honky-Tonk Piano",
     .four = {.chain = Chain::TwoPairs, .feedback = 4, .ops = {
        {.mult = 1, .level = 46, .decay = 4, .sustain = 5},
        {.mult = 1, .level = 43, .decay = 2, .sustain = 15, .release = 7, .rateScaling = true},
        {.mult = 5, .level = 28, .decay = 7, .sustain = 15},
        {.mult = 2, .level = 29, .decay = 3, .sustain = 15, .release = 7, .rateScaling = true}}},
     .two = {.additive = false, .feedback = 4, .ops = {
        {.mult = 1, .level = 44, .decay = 4, .sustain = 5},
        {.mult = 1, .level = 43, .decay = 2, .sustain = 15, .release = 7, .rateScaling = true}}},
     .transpose = 0, .tuning1 = -12, .tuning2 = 12},

    // A tine: a soft fundamental pair and a high modulator that rings only
    // at the strike; the second voice detuned for a slow chorus.
    {.name = "Electric Piano",
     .four = {.chain = Chain::TwoPairs, .feedback = 0, .ops = {
        {.mult = 1, .level = 36, .decay = 4, .sustain = 6},
        {.mult = 1, .level = 45, .decay = 3, .sustain = 15, .release = 6},
        {.mult = 15, .level = 38, .decay = 8, .sustain = 15, .ksl = Ksl3dB},
        {.mult = 1, .level = 35, .decay = 4, .sustain = 15, .release = 6}}},
     .two = {.additive = false, .feedback = 2, .ops = {
        {.mult = 1, .level = 26, .decay = 5, .sustain = 8},
        {.mult = 1, .level = 39, .decay = 3, .sustain = 15, .release = 6}}},
     .transpose = 0, .tuning1 = -3, .tuning2 = 5},

    // Drawbars 8', 4', 2' on the first voice; 16' and 5 1/3' on the second,
    // an octave down. Organ keys: instant on, quick off, full sustain.
    {.name = "Drawbar Organ",
     .four = {.chain = Chain::OnePairFour, .feedback = 1, .ops = {
        {.mult = 1, .level = 44, .release = 10, .vibrato = true},
        {.mult = 2, .level = 16},
        {.mult = 2, .level = 38, .release = 10, .vibrato = true},
        {.mult = 4, .level = 32, .release = 10, .vibrato = true}}},
     .two = {.additive = true, .feedback = 0, .ops = {
        {.mult = 1, .level = 40, .release = 10, .vibrato = true},
        {.mult = 3, .level = 32, .release = 10, .vibrato = true}}},
     .transpose = 0, .tuning1 = 0, .tuning2 = -1200, .deepVibrato = true},

    // 16', 8' and 5 1/3' held, with a 2 2/3' percussion that dies away
    // and a key click.
    {.name = "Jazz Organ",
     .four = {.chain = Chain::OnePairFour, .feedback = 3, .ops = {
        {.mult = 1, .level = 44, .release = 11},
        {.mult = 1, .level = 0},
        {.mult = 3, .level = 43, .decay = 6, .sustain = 15, .release = 11},
        {.mult = 8, .level = 19, .decay = 9, .sustain = 15, .release = 11}}},
     .two = {.additive = true, .feedback = 0, .ops = {
        {.mult = 1, .level = 43, .release = 11},
        {.mult = 3, .level = 31, .release = 11}}},
     .transpose = 0, .tuning1 = 0, .tuning2 = -1200},

    // Hum, prime and nominal on the first voice; the minor-third tierce that
    // makes a bell a bell on the second, 316 cents up, off the harmonic series.
    {.name = "Church Bell",
     .four = {.chain = Chain::OnePairFour, .feedback = 2, .ops = {
        {.mult = 0, .level = 34, .decay = 2, .sustain = 15, .release = 4},
        {.mult = 3, .level = 34, .decay = 5, .sustain = 15},
        {.mult = 1, .level = 40, .decay = 3, .sustain = 15, .release = 4},
        {.mult = 2, .level = 34, .decay = 3, .sustain = 15, .release = 4}}},
     .two = {.additive = false, .feedback = 3, .ops = {
        {.mult = 1, .level = 28, .decay = 4, .sustain = 15},
        {.mult = 1, .level = 38, .decay = 3, .sustain = 15, .release = 4}}},
     .transpose = 0, .tuning1 = 0, .tuning2 = 316},

    // Carrier and modulator 2 : 7 an octave down give partials at 1, 2.5,
    // 4.5 and 6 times the note; the second voice adds the clang at 2.76.
    {.name = "Tubular Bells",
     .four = {.chain = Chain::TwoPairs, .feedback = 3, .ops = {
        {.mult = 7, .level = 36, .decay = 4, .sustain = 15},
        {.mult = 2, .level = 46, .decay = 2, .sustain = 15, .release = 4},
        {.mult = 1, .level = 16, .decay = 3, .sustain = 15},
        {.mult = 2, .level = 36, .decay = 2, .sustain = 15, .release = 4}}},
     .two = {.additive = false, .feedback = 0, .ops = {
        {.mult = 1, .level = 24, .decay = 5, .sustain = 15},
        {.mult = 1, .level = 34, .decay = 4, .sustain = 15, .release = 4}}},
     .transpose = 0, .tuning1 = -1200, .tuning2 = 1757},

    // Bar partials 1 and 4 and a mallet tick, with the motor's deep tremolo.
    {.name = "Vibraphone",
     .four = {.chain = Chain::TwoPairs, .feedback = 1, .ops = {
        {.mult = 1, .level = 20, .decay = 5, .sustain = 15},
        {.mult = 1, .level = 48, .decay = 3, .sustain = 15, .release = 5, .tremolo = true},
        {.mult = 1, .level = 0},
        {.mult = 4, .level = 32, .decay = 5, .sustain = 15, .release = 5, .tremolo = true}}},
     .two = {.additive = true, .feedback = 2, .ops = {
        {.mult = 10, .level = 20, .decay = 7, .sustain = 15, .release = 5},
        {.mult = 1, .level = 38, .decay = 3, .sustain = 15, .release = 5, .tremolo = true}}},
     .transpose = 0, .tuning1 = 0, .tuning2 = 4, .deepTremolo = true},

    // Partials 1, 4 and 10 of a marimba bar, short and woody; the second
    // voice is the resonator tube under it, a hair flat.
    {.name = "Marimba",
     .four = {.chain = Chain::OnePairFour, .feedback = 1, .ops = {
        {.mult = 1, .level = 47, .decay = 4, .sustain = 15, .release = 6},
        {.mult = 7, .level = 24, .decay = 7, .sustain = 15},
        {.mult = 4, .level = 31, .decay = 7, .sustain = 15, .release = 6},
        {.mult = 10, .level = 21, .decay = 9, .sustain = 15, .release = 6}}},
     .two = {.additive = false, .feedback = 0, .ops = {
        {.mult = 1, .level = 22, .decay = 6, .sustain = 15},
        {.mult = 1, .level = 39, .decay = 5, .sustain = 15, .release = 6}}},
     .transpose = 0, .tuning1 = 0, .tuning2 = -6},

    // The modulators open slower than the carriers speak, so each note
    // brightens as it starts, like lips on a mouthpiece; two players apart.
    {.name = "Brass Section",
     .four = {.chain = Chain::TwoPairs, .feedback = 5, .ops = {
        {.mult = 1, .level = 48, .attack = 6, .decay = 4, .sustain = 2, .release = 7},
        {.mult = 1, .level = 44, .attack = 8, .release = 7},
        {.mult = 1, .level = 42, .attack = 6, .decay = 4, .sustain = 2, .release = 7},
        {.mult = 1, .level = 34, .attack = 8, .release = 7}}},
     .two = {.additive = false, .feedback = 4, .ops = {
        {.mult = 1, .level = 42, .attack = 6, .decay = 4, .sustain = 2, .release = 7},
        {.mult = 1, .level = 40, .attack = 8, .release = 7}}},
     .transpose = 0, .tuning1 = -7, .tuning2 = 7},

    // Feedback saws on both voices, eight cents either side, bowed in slowly.
    {.name = "String Ensemble",
     .four = {.chain = Chain::OneAndSerial, .feedback = 6, .ops = {
        {.mult = 1, .level = 40, .attack = 5, .release = 6, .vibrato = true},
        {.mult = 1, .level = 34, .attack = 5},
        {.mult = 1, .level = 36, .attack = 5},
        {.mult = 1, .level = 42, .attack = 5, .release = 6, .ksl = Ksl1_5dB, .vibrato = true}}},
     .two = {.additive = true, .feedback = 5, .ops = {
        {.mult = 1, .level = 40, .attack = 5, .release = 6, .vibrato = true},
        {.mult = 2, .level = 24, .attack = 4, .release = 6, .vibrato = true}}},
     .transpose = 0, .tuning1 = -8, .tuning2 = 8},

    // Half a second to swell, soft sidebands, an octave pair and a long tail.
    {.name = "Warm Pad",
     .four = {.chain = Chain::TwoPairs, .feedback = 2, .ops = {
        {.mult = 1, .level = 30, .attack = 3, .release = 5},
        {.mult = 1, .level = 44, .attack = 3, .sustain = 1, .release = 5, .vibrato = true},
        {.mult = 2, .level = 22, .attack = 3, .release = 5},
        {.mult = 2, .level = 28, .attack = 4, .sustain = 1, .release = 5, .vibrato = true}}},
     .two = {.additive = false, .feedback = 1, .ops = {
        {.mult = 1, .level = 32, .attack = 2, .release = 5},
        {.mult = 1, .level = 42, .attack = 3, .release = 5, .vibrato = true}}},
     .transpose = 0, .tuning1 = -7, .tuning2 = 7},

    // Sparse high partials fading in, an octave above shimmering with tremolo.
    {.name = "Glass Pad",
     .four = {.chain = Chain::TwoPairs, .feedback = 0, .ops = {
        {.mult = 7, .level = 26, .attack = 3, .release = 5},
        {.mult = 1, .level = 46, .attack = 3, .release = 5},
        {.mult = 1, .level = 28, .attack = 3, .release = 5},
        {.mult = 4, .level = 32, .attack = 4, .release = 5, .tremolo = true}}},
     .two = {.additive = true, .feedback = 3, .ops = {
        {.mult = 1, .level = 36, .attack = 3, .release = 5, .tremolo = true},
        {.mult = 3, .level = 26, .attack = 3, .release = 5}}},
     .transpose = 0, .tuning1 = 0, .tuning2 = 1205},

    // Two octaves down; a saw-like modulator closes fast like a filter sweep.
    {.name = "Synth Bass",
     .four = {.chain = Chain::TwoPairs, .feedback = 5, .ops = {
        {.mult = 1, .level = 50, .decay = 6, .sustain = 4, .release = 9},
        {.mult = 1, .level = 47, .decay = 2, .sustain = 2, .release = 9},
        {.mult = 1, .level = 26, .decay = 5, .sustain = 10, .release = 9},
        {.mult = 1, .level = 35, .decay = 2, .sustain = 2, .release = 9}}},
     .two = {.additive = false, .feedback = 6, .ops = {
        {.mult = 1, .level = 40, .decay = 7, .sustain = 6, .release = 9},
        {.mult = 1, .level = 37, .decay = 2, .sustain = 2, .release = 9}}},
     .transpose = -2400, .tuning1 = 0, .tuning2 = 8},

    // A picked string two octaves down: a bright edge that fades at once
    // into a round body, and a quiet octave above for definition.
    {.name = "Picked Bass",
     .four = {.chain = Chain::TwoPairs, .feedback = 2, .ops = {
        {.mult = 1, .level = 40, .decay = 6, .sustain = 7},
        {.mult = 1, .level = 49, .decay = 3, .sustain = 15, .release = 8},
        {.mult = 3, .level = 28, .decay = 8, .sustain = 15},
        {.mult = 2, .level = 27, .decay = 4, .sustain = 15, .release = 8}}},
     .two = {.additive = false, .feedback = 2, .ops = {
        {.mult = 1, .level = 20, .decay = 6, .sustain = 15},
        {.mult = 1, .level = 29, .decay = 3, .sustain = 15, .release = 8}}},
     .transpose = -2400, .tuning1 = 0, .tuning2 = 1200},

    // Two feedback saws ten cents apart with a sine an octave under them.
    {.name = "Saw Lead",
     .four = {.chain = Chain::OnePairFour, .feedback = 6, .ops = {
        {.mult = 1, .level = 41, .release = 8, .vibrato = true},
        {.mult = 2, .level = 42},
        {.mult = 1, .level = 33, .release = 8, .vibrato = true},
        {.mult = 0, .level = 29, .release = 8}}},
     .two = {.additive = true, .feedback = 6, .ops = {
        {.mult = 1, .level = 41, .release = 8, .vibrato = true},
        {.mult = 2, .level = 19, .release = 8, .wave = Square}}},
     .transpose = 0, .tuning1 = -10, .tuning2 = 10},
};

// Four-operator presets: operators 1-4; the two-operator voice stays as it is.
const std::vector<FourOperatorPreset> kFourOperatorPresets = {
    // Nasal half-sine strings struck hard and damped at once.
    {.name = "Clavinet", .voice = {.chain = Chain::TwoPairs, .feedback = 5, .ops = {
        {.mult = 3, .level = 40, .decay = 6, .sustain = 6},
        {.mult = 1, .level = 50, .decay = 4, .sustain = 15, .release = 10, .wave = HalfSine},
        {.mult = 1, .level = 36, .decay = 5, .sustain = 8},
        {.mult = 2, .level = 38, .decay = 4, .sustain = 15, .release = 10, .wave = HalfSine}}}},

    // Flue pipes at 8', 4' and 2', slow to speak and ringing on in the hall.
    {.name = "Pipe Organ", .voice = {.chain = Chain::OnePairFour, .feedback = 2, .ops = {
        {.mult = 1, .level = 49, .attack = 7, .release = 6},
        {.mult = 2, .level = 18, .attack = 6},
        {.mult = 2, .level = 41, .attack = 7, .release = 6},
        {.mult = 4, .level = 35, .attack = 8, .release = 6}}}},

    // A bright brass voice that opens as it starts, with vibrato.
    {.name = "Solo Trumpet", .voice = {.chain = Chain::TwoPairs, .feedback = 4, .ops = {
        {.mult = 1, .level = 46, .attack = 7, .decay = 3, .sustain = 3, .release = 8},
        {.mult = 1, .level = 50, .attack = 9, .release = 8, .vibrato = true},
        {.mult = 2, .level = 30, .attack = 7, .decay = 3, .sustain = 3},
        {.mult = 2, .level = 30, .attack = 9, .release = 8, .vibrato = true}}}},

    // A round tone with a little second harmonic and a breath of noise from
    // operator 1 fed back on itself.
    {.name = "Flute", .voice = {.chain = Chain::OneAndSerial, .feedback = 7, .ops = {
        {.mult = 1, .level = 16, .attack = 8, .decay = 5, .sustain = 4, .release = 8},
        {.mult = 2, .level = 14, .attack = 7},
        {.mult = 1, .level = 22, .attack = 7},
        {.mult = 1, .level = 52, .attack = 7, .release = 8, .vibrato = true}}}},

    // A plucked nylon string: soft edge, round ringing decay.
    {.name = "Nylon Guitar", .voice = {.chain = Chain::TwoPairs, .feedback = 2, .ops = {
        {.mult = 1, .level = 30, .decay = 5, .sustain = 10},
        {.mult = 1, .level = 51, .decay = 3, .sustain = 15, .release = 7, .rateScaling = true},
        {.mult = 5, .level = 30, .decay = 8, .sustain = 15},
        {.mult = 2, .level = 31, .decay = 5, .sustain = 15, .release = 7}}}},

    // A tine under the thumb: fundamental, a high partial and a click.
    {.name = "Kalimba", .voice = {.chain = Chain::OnePairFour, .feedback = 1, .ops = {
        {.mult = 1, .level = 50, .decay = 4, .sustain = 15, .release = 6},
        {.mult = 1, .level = 20, .decay = 6, .sustain = 15},
        {.mult = 6, .level = 32, .decay = 6, .sustain = 15, .release = 6},
        {.mult = 12, .level = 18, .decay = 9, .sustain = 15, .release = 6}}}},

    // Carriers at half speed: an octave below the key, held.
    {.name = "Deep Bass", .voice = {.chain = Chain::TwoPairs, .feedback = 4, .ops = {
        {.mult = 0, .level = 42, .decay = 5, .sustain = 6, .release = 9},
        {.mult = 0, .level = 51, .decay = 1, .sustain = 1, .release = 9},
        {.mult = 0, .level = 20, .decay = 5, .sustain = 8, .release = 9},
        {.mult = 1, .level = 29, .decay = 2, .sustain = 3, .release = 9}}}},

    // A chain of four, each driving the next hard: a hard-edged lead.
    {.name = "Sync Lead", .voice = {.chain = Chain::Serial, .feedback = 6, .ops = {
        {.mult = 1, .level = 40, .release = 8},
        {.mult = 2, .level = 34, .release = 8},
        {.mult = 3, .level = 32, .release = 8},
        {.mult = 1, .level = 51, .release = 8, .vibrato = true}}}},

    // A steel pan: a ringing fundamental and a quick metallic upper pair.
    {.name = "Steel Drum", .voice = {.chain = Chain::TwoPairs, .feedback = 3, .ops = {
        {.mult = 1, .level = 34, .decay = 5, .sustain = 15},
        {.mult = 1, .level = 48, .decay = 4, .sustain = 15, .release = 6},
        {.mult = 5, .level = 32, .decay = 6, .sustain = 15},
        {.mult = 2, .level = 38, .decay = 5, .sustain = 15, .release = 6}}}},
};

// Two-operator presets: operators 5-6; the four-operator voice stays as it is.
const std::vector<TwoOperatorPreset> kTwoOperatorPresets = {
    // A buzzing plucked string and a short damper.
    {.name = "Harpsichord", .voice = {.additive = false, .feedback = 6, .ops = {
        {.mult = 1, .level = 46, .decay = 4, .sustain = 4},
        {.mult = 1, .level = 52, .decay = 3, .sustain = 15, .release = 9, .rateScaling = true}}}},

    // A small bell an octave up: a 1 : 7 strike that settles to a sine.
    {.name = "Celesta", .voice = {.additive = false, .feedback = 0, .ops = {
        {.mult = 14, .level = 30, .decay = 6, .sustain = 15},
        {.mult = 2, .level = 52, .decay = 4, .sustain = 15, .release = 5}}}},

    // Over in a tenth of a second: a hollow knock.
    {.name = "Woodblock", .voice = {.additive = false, .feedback = 4, .ops = {
        {.mult = 1, .level = 40, .decay = 9, .sustain = 15},
        {.mult = 3, .level = 52, .decay = 8, .sustain = 15, .release = 8}}}},

    // Plucked strings: a soft edge and a quick decay.
    {.name = "Pizzicato Strings", .voice = {.additive = false, .feedback = 4, .ops = {
        {.mult = 1, .level = 38, .decay = 6, .sustain = 15},
        {.mult = 1, .level = 53, .attack = 13, .decay = 5, .sustain = 15, .release = 7}}}},

    // A modulator at twice the carrier: odd harmonics only, a reed.
    {.name = "Clarinet", .voice = {.additive = false, .feedback = 0, .ops = {
        {.mult = 2, .level = 32, .attack = 7, .release = 8},
        {.mult = 1, .level = 52, .attack = 7, .release = 8, .vibrato = true}}}},

    // An octave below the key, round and held.
    {.name = "Round Bass", .voice = {.additive = false, .feedback = 3, .ops = {
        {.mult = 0, .level = 34, .decay = 6, .sustain = 8, .release = 9},
        {.mult = 0, .level = 52, .decay = 2, .sustain = 4, .release = 9}}}},

    // Two octaves up, nearly pure, with vibrato.
    {.name = "Whistle", .voice = {.additive = false, .feedback = 0, .ops = {
        {.mult = 4, .level = 12, .attack = 7},
        {.mult = 4, .level = 52, .attack = 7, .release = 8, .vibrato = true}}}},

    // Two slow sines, the upper an octave above, with a long release.
    {.name = "Soft Pad", .voice = {.additive = true, .feedback = 3, .ops = {
        {.mult = 1, .level = 49, .attack = 3, .release = 5, .vibrato = true},
        {.mult = 2, .level = 39, .attack = 3, .release = 5, .vibrato = true}}}},
};

// clang-format on

namespace {

constexpr OperatorPatch kDefaultOperator = {0x01, 0x3F, 0xFF, 0xFF, 0x00};
constexpr uint8_t kVolumeAtStart = 25; // the card's start-up attenuation, as a volume

OperatorPatch Image(const Operator& o) {
    using namespace opl3;
    OperatorPatch p;
    p.Reg20 = kTremolo.PutFlag(p.Reg20, o.tremolo);
    p.Reg20 = kVibrato.PutFlag(p.Reg20, o.vibrato);
    p.Reg20 = kHold.PutFlag(p.Reg20, o.hold);
    p.Reg20 = kRateScaling.PutFlag(p.Reg20, o.rateScaling);
    p.Reg20 = kMultiplier.Put(p.Reg20, o.mult);
    p.Reg40 = kLevel.Put(kLevelScaling.Put(0, o.ksl), o.level);
    p.Reg60 = kDecay.Put(kAttack.Put(0, o.attack), o.decay);
    p.Reg80 = kRelease.Put(kSustain.Put(0, o.sustain), o.release);
    p.RegE0 = kWaveform.Put(0, o.wave);
    return p;
}

} // namespace

SynthPatch DefaultPatch() {
    SynthPatch p;
    p.Ops.fill(kDefaultOperator);
    constexpr uint8_t kBothOutputs = opl3::kOutputA.Mask() | opl3::kOutputB.Mask();
    p.RegC0Ops12 = kBothOutputs;
    p.RegC0Ops34 = kBothOutputs;
    p.RegC0Ops56 = kBothOutputs;
    SetConnectionBits(p, 6);
    return p;
}

PatchSettings DefaultSettings() {
    PatchSettings s;
    s.Outputs = outputs::kA | outputs::kB | outputs::kA2 | outputs::kB2;
    s.Volume = kVolumeAtStart;
    return s;
}

namespace {

void Put(SynthPatch& p, const FourOperatorVoice& v) {
    for (int i = 0; i < 4; ++i)
        p.Ops[i] = Image(v.ops[i]);
    const unsigned chain = static_cast<unsigned>(v.chain);
    p.RegC0Ops12 = opl3::kConnection.Put(opl3::kFeedback.Put(p.RegC0Ops12, v.feedback), chain);
    p.RegC0Ops34 = opl3::kConnection.Put(p.RegC0Ops34, chain >> 1);
}

void Put(SynthPatch& p, const TwoOperatorVoice& v) {
    for (int i = 0; i < 2; ++i)
        p.Ops[4 + i] = Image(v.ops[i]);
    p.RegC0Ops56 =
        opl3::kConnection.Put(opl3::kFeedback.Put(p.RegC0Ops56, v.feedback), v.additive ? 1 : 0);
}

// The modulators follow the MIDI controllers: a harder note is brighter, as
// a struck string or a blown reed is, and the carriers keep their level. A
// level follows velocity in proportion, so carriers that did would lose 9-10
// dB between velocities 127 and 100: a chord hit hard would leave no
// headroom above notes played at an ordinary strength.
uint8_t Modulators(const SixOperatorPreset& preset) {
    static constexpr uint8_t kFourVoiceModulators[] = {0x07, 0x06, 0x05, 0x02}; // by chain
    return static_cast<uint8_t>(kFourVoiceModulators[static_cast<int>(preset.four.chain)] |
                                (preset.two.additive ? 0x00 : 0x10));
}

} // namespace

std::vector<Starter> Library() {
    std::vector<Starter> all;
    for (const SixOperatorPreset& s : kSixOperatorPresets) {
        Starter p{"6op", s.name, PresetKind::SixOperator, DefaultPatch(), DefaultSettings()};
        Put(p.patch, s.four);
        Put(p.patch, s.two);
        p.settings.CcMask = Modulators(s);
        p.settings.Transpose = s.transpose;
        p.settings.Tuning1 = s.tuning1;
        p.settings.Tuning2 = s.tuning2;
        p.settings.LfoDepth = static_cast<uint8_t>((s.deepTremolo ? lfo::kTremoloDeep : 0) |
                                                   (s.deepVibrato ? lfo::kVibratoDeep : 0));
        all.push_back(p);
    }
    for (const FourOperatorPreset& f : kFourOperatorPresets) {
        Starter p{"4op", f.name, PresetKind::FourOperator, DefaultPatch(), DefaultSettings()};
        Put(p.patch, f.voice);
        all.push_back(p);
    }
    for (const TwoOperatorPreset& t : kTwoOperatorPresets) {
        Starter p{"2op", t.name, PresetKind::TwoOperator, DefaultPatch(), DefaultSettings()};
        Put(p.patch, t.voice);
        all.push_back(p);
    }
    return all;
}

} // namespace starters
