#include "synth/controltips.h"

#include "hardware/opl3envelope.h"
#include "presets/presetfile.h"
#include "synth/noterules.h"

#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

const char* OnOff(bool on) {
    return on ? "on" : "off";
}

// By waveform item.
constexpr std::array<const char*, 8> kWaveforms = {
    "a pure tone",
    "the upper half of a sine, silent for the lower half",
    "a sine with its lower half turned up: brighter, sounding an octave up",
    "the rising quarter of a sine twice a cycle, silent between: thin and buzzy",
    "a sine at twice the pitch for half the cycle, silent for the other half",
    "a turned-up sine at twice the pitch for half the cycle, silent for the other half",
    "a square wave: hollow, odd harmonics only",
    "a ramp falling from full level every half cycle: bright and buzzy",
};

// By multiplier field value.
constexpr std::array<const char*, 16> kHarmonics = {
    "an octave below the note",
    "the note itself",
    "the 2nd harmonic, an octave up",
    "the 3rd harmonic, an octave and a fifth up",
    "the 4th harmonic, two octaves up",
    "the 5th harmonic, two octaves and a major third up",
    "the 6th harmonic, two octaves and a fifth up",
    "the 7th harmonic, two octaves and a flat seventh up",
    "the 8th harmonic, three octaves up",
    "the 9th harmonic, three octaves and a whole tone up",
    "the 10th harmonic, three octaves and a major third up",
    "the chip has no x11: it plays x10, as +3990 does",
    "the 12th harmonic, three octaves and a fifth up",
    "the chip has no x13: it plays x12, as +4300 does",
    "the chip has no x14: it plays x15, as +4690 does",
    "the 15th harmonic, three octaves and a major seventh up",
};

std::string Dbs(double db) {
    return Format("%.1f dB", db == 0 ? 0.0 : db); // no "-0.0"
}

// The times of the three envelope phases.
std::string AttackTip(int value, int rate, const std::string& at) {
    if (value == 0) return "Attack 0: the note never starts to sound";
    const double ms = opl3::AttackMs(rate);
    if (ms == 0) return Format("Attack %d: full level at once", value);
    return Format("Attack %d: from silence to full level in %s at %s", value,
                  DurationText(ms).c_str(), at.c_str());
}

std::string DecayTip(int value, int rate, int sustain, const std::string& at) {
    if (value == 0) return "Decay 0: the note stays at full level";
    const double ms = opl3::DecayMs(rate);
    const double sustainDb = opl3::SustainDb(sustain);
    return Format("Decay %d: down to the sustain level (%s) in %s at %s; 96 dB take %s", value,
                  Dbs(sustainDb).c_str(), DurationText(ms * -sustainDb / 96).c_str(), at.c_str(),
                  DurationText(ms).c_str());
}

std::string ReleaseTip(int value, int rate, const std::string& at) {
    if (value == 0) return "Release 0: the note never fades once the key is let go";
    return Format("Release %d: from full level to silence (96 dB) in %s at %s once the key is "
                  "let go",
                  value, DurationText(opl3::DecayMs(rate)).c_str(), at.c_str());
}

std::string SustainTip(int value, bool hold) {
    std::string text =
        Format("Sustain %d: the decay stops at %s", value, Dbs(opl3::SustainDb(value)).c_str());
    if (!hold) text += "; with Hold off the note goes on fading at the release rate";
    return text;
}

std::string VolumeTip(const SynthState& state, int op, int value) {
    const double db = opl3::TotalLevelDb(63 - value);
    const int connection = state.voice[static_cast<size_t>(VoiceField::Connection)];
    std::string text = Format("Volume %d: %s (63 is full level)", value, Dbs(db).c_str());
    text +=
        OperatorIsHeard(connection, op)
            ? Format(". Operator %d is heard in this connection: this is its loudness", op + 1)
            : Format(". Operator %d modulates another: this sets how bright the sound is", op + 1);
    if (state.ops[static_cast<size_t>(op)].cc) text += ", at velocity 127";
    return text;
}

std::string CheckTip(const SynthState& state, size_t field, bool on) {
    const auto depth = [&](VoiceField f) { return state.voice[static_cast<size_t>(f)] > 0; };
    if (field == kFieldTremolo)
        return Format("Tremolo: %s. The level wavers by %s at %.1f Hz (the Tremolo Depth)",
                      OnOff(on), depth(VoiceField::TremoloDepth) ? "4.8 dB" : "1 dB",
                      opl3::kTremoloHz);
    if (field == kFieldVibrato)
        return Format("Vibrato: %s. The pitch wavers by %s at %.1f Hz (the Vibrato Depth)",
                      OnOff(on), depth(VoiceField::VibratoDepth) ? "14 cents" : "7 cents",
                      opl3::kVibratoHz);
    if (field == kFieldRateScaling)
        return Format("Rate: %s. On, attack, decay and release get shorter as notes rise",
                      OnOff(on));
    return Format("Hold: %s. On, the note stays at the sustain level while the key is held; off, "
                  "it goes on fading at the release rate",
                  OnOff(on));
}

std::string ListTip(size_t field, int value) {
    if (value < 0) return "Nothing chosen";
    if (field == kFieldWaveform)
        return Format("Waveform: %s", kWaveforms[static_cast<size_t>(value & 7)]);
    if (field == kFieldMultiplier) {
        const double multiplier = opl3::Multiplier(value);
        return Format("Frequency multiplier x%g: %s", multiplier,
                      kHarmonics[static_cast<size_t>(value & 15)]);
    }
    const double slope = opl3::LevelScalingDbPerOctave(value);
    if (slope == 0) return "Key scaling of level off: every note at the same level";
    return Format("Key scaling of level: %.1f dB quieter per octave as notes rise%s", slope,
                  value == 1 || value == 2 ? " (the chip's slope for this item)" : "");
}

} // namespace

std::string NoteName(int note) {
    static constexpr std::array<const char*, 12> kNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                           "F#", "G",  "G#", "A",  "A#", "B"};
    const int octave = (note >= 0 ? note / 12 : (note - 11) / 12) - 1;
    return Format("%s%d", kNames[static_cast<size_t>(((note % 12) + 12) % 12)], octave);
}

std::string DurationText(double ms) {
    if (std::isinf(ms)) return "forever";
    if (ms >= 1000) return Format("%.*f s", ms >= 10000 ? 0 : 1, ms / 1000);
    if (ms >= 10) return Format("%.0f ms", ms);
    return Format("%.*f ms", ms >= 1 ? 1 : 2, ms);
}

std::string IntervalText(int32_t cents) {
    if (cents == 0) return "no change";
    const char* way = cents > 0 ? "up" : "down";
    const int64_t size = std::llabs(int64_t{cents});
    if (size % 1200 == 0) {
        const int64_t octaves = size / 1200;
        return octaves == 1 ? Format("an octave %s", way)
                            : Format("%lld octaves %s", static_cast<long long>(octaves), way);
    }
    if (size % 100 == 0) {
        const int64_t semitones = size / 100;
        return Format("%lld semitone%s %s", static_cast<long long>(semitones),
                      semitones == 1 ? "" : "s", way);
    }
    return Format("%lld cents %s", static_cast<long long>(size), way);
}

// The last operator of each chain is heard: bit 0 of the connection joins
// operators 1-2 in parallel, bit 1 operators 3-4, bit 2 operators 5-6.
bool OperatorIsHeard(int connection, int op) {
    const bool c12 = connection & 1, c34 = connection & 2, c56 = connection & 4;
    switch (op) {
    case 0:
        return c12;
    case 1:
        return !c12 && c34;
    case 2:
        return c12 && c34;
    case 4:
        return c56;
    default:
        return op == 3 || op == 5;
    }
}

int OperatorKeyScale(const SynthState& state, int op) {
    const Tuning voice = op < 4 ? Tuning::Voice1 : Tuning::Voice2;
    const int32_t cents = AddCents(state.tunings[static_cast<size_t>(voice)].cents,
                                   state.tunings[static_cast<size_t>(Tuning::Transpose)].cents);
    return OPL3::KeyScaleNumber(state.lastNote, cents);
}

std::string OperatorTip(const SynthState& state, int op, size_t field, int value) {
    const auto& fields = state.ops[static_cast<size_t>(op)].fields;
    const ControlKind kind = kOperatorFields[field].kind;
    if (kind == ControlKind::Check) return CheckTip(state, field, value != 0);
    if (kind == ControlKind::List) return ListTip(field, value);
    if (field == kFieldVolume) return VolumeTip(state, op, value);
    if (field == kFieldSustain) return SustainTip(value, fields[kFieldHold] != 0);
    const int rate =
        opl3::EnvelopeRate(value, OperatorKeyScale(state, op), fields[kFieldRateScaling] != 0);
    const std::string at = NoteName(state.lastNote);
    if (field == kFieldAttack) return AttackTip(value, rate, at);
    if (field == kFieldDecay) return DecayTip(value, rate, fields[kFieldSustain], at);
    return ReleaseTip(value, rate, at);
}

std::string CcSwitchTip(bool on) {
    return Format("CC: %s. On, this operator follows velocity and controllers: a note's velocity "
                  "scales its volume, and controllers bound to operator functions move it",
                  OnOff(on));
}

std::string VoiceTip(VoiceField field, int value) {
    const auto item = [](const auto& texts, int i) {
        return i >= 0 && i < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(i)]
                                                            : "nothing chosen";
    };
    switch (field) {
    case VoiceField::Feedback:
    case VoiceField::Feedback2:
        return Format("Feedback of operator %d into itself: %s. More turns its sine brighter, "
                      "towards a sawtooth, and at the top towards noise",
                      field == VoiceField::Feedback ? 1 : 5, item(kFeedbackTexts, value));
    case VoiceField::Connection: {
        std::string heard;
        for (int op = 0; op < kOperatorCount; ++op)
            if (value >= 0 && OperatorIsHeard(value, op))
                heard += (heard.empty() ? "" : ", ") + std::to_string(op + 1);
        return Format("Connection: %s. Heard: operators %s; the others modulate them "
                      "(' marks feedback)",
                      item(kConnectionTexts, value), heard.c_str());
    }
    case VoiceField::TremoloDepth:
        return Format("Tremolo depth of every operator with Tremolo on: %s at %.1f Hz",
                      value > 0 ? "4.8 dB" : "1 dB", opl3::kTremoloHz);
    case VoiceField::VibratoDepth:
        return Format("Vibrato depth of every operator with Vibrato on: %s at %.1f Hz",
                      value > 0 ? "14 cents" : "7 cents", opl3::kVibratoHz);
    default:
        break;
    }
    const bool left = field == VoiceField::OutputA || field == VoiceField::OutputA2;
    const bool first = field == VoiceField::OutputA || field == VoiceField::OutputB;
    return Format("Operators %s on the %s output: %s", first ? "1-4" : "5-6",
                  left ? "left" : "right", OnOff(value != 0));
}

std::string TuningTip(Tuning which, int32_t cents) {
    static constexpr std::array<const char*, kTuningCount> kWhat = {
        "Transpose of both voices", "Tuning of operators 1-4", "Tuning of operators 5-6"};
    return Format("%s: %d cents, %s (100 cents make a semitone); the next note takes it",
                  kWhat[static_cast<size_t>(which)], static_cast<int>(cents),
                  IntervalText(cents).c_str());
}

// The card attenuates in 1.5 dB steps.
std::string OutputVolumeTip(int volume) {
    return Format("Output volume %d: %s (31 is 0 dB)", volume,
                  Dbs(-1.5 * (kOutputLevelMax - volume)).c_str());
}

std::string PanTip(int volume, int pan) {
    if (pan == 0) return "Pan 0: centred";
    const SideLevels levels = PanLevels(volume, pan);
    const int quieter = std::abs(levels.left - levels.right);
    const char* side = pan > 0 ? "left" : "right";
    if (quieter == 0) return Format("Pan %+d: both sides alike at this volume", pan);
    return Format("Pan %+d: the %s side %s quieter", pan, side, Dbs(1.5 * quieter).c_str());
}

std::string MuteTip(bool on) {
    return Format("Mute: %s. On, the card's output is silent", OnOff(on));
}

std::string ChordTip(bool on) {
    return Format("MC, the major-chord switch: %s. On, every note also sounds a major third and "
                  "a fifth above it",
                  OnOff(on));
}

std::string ChannelTip(int channel) {
    if (channel < 0) return "MIDI channel: none; only the mini keyboard plays";
    return Format("MIDI channel %d is played; the mini keyboard always plays", channel + 1);
}

std::string MidiInputTip(std::string_view name) {
    return Format("MIDI input: %.*s. The list is read again each time it opens",
                  static_cast<int>(name.size()), name.data());
}

std::string BankTip(int bank) {
    static constexpr std::array<const char*, 3> kHolds = {"operators 5-6 only",
                                                          "operators 1-4 only", "the whole sound"};
    if (bank < 0 || bank >= static_cast<int>(kHolds.size())) return "No bank chosen";
    return Format("Bank %s: its presets hold %s; the sounding preset stays until you pick one",
                  kBankNames[static_cast<size_t>(bank)], kHolds[static_cast<size_t>(bank)]);
}

std::string SavePresetTip(std::string_view name, int bank) {
    if (name.find_first_not_of(' ') == std::string_view::npos)
        return "Type a name in the preset box to save the sound under it";
    if (name == kDefaultPresetName) return "The Default preset cannot be saved";
    const char* what = bank == 0   ? "operators 5-6"
                       : bank == 1 ? "operators 1-4"
                                   : "the whole sound";
    const char* folder = bank >= 0 && bank < 3 ? kBankNames[static_cast<size_t>(bank)] : "";
    return Format("Save %s as \"%.*s\" in the %s bank", what, static_cast<int>(name.size()),
                  name.data(), folder);
}

std::string ResetPresetTip(std::string_view name) {
    if (name.empty()) return "Type or pick a preset to reset to";
    if (name == kDefaultPresetName) return "Silence the chip and load the silent Default patch";
    return Format("Silence the chip and load \"%.*s\" again as it was saved; a name that loads "
                  "nothing keeps the sound",
                  static_cast<int>(name.size()), name.data());
}

std::string ControllerValueTip(std::string_view text) {
    const int number = ControllerNumberFromText(text);
    if (text == "-1") return "-1: not bound; no controller moves this function";
    if (number == kUnbound) return "Not a controller number: no controller moves this function";
    return Format("Controller %d moves this function; -1 binds none", number);
}
