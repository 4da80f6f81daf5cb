// The shipped starter presets: the files are what the library describes, and
// each one, played on the emulated card from a fresh start as the window
// plays it, sounds at a healthy level, never clips, falls silent after its
// release and differs from every other; the three banks are equally loud.
#include "../emulated/rig.h"
#include "bandprint.h"
#include "hardware/opl3regs.h"
#include "presets/library.h"
#include "presets/sbi.h"
#include "synth/noterules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(VI801_SOURCE_DIR) / "data";
const fs::path kShare = VI801_SHARE_DIR; // the banks the build installs

// What a user meets: the output volume a fresh start (or the preset) sets,
// velocity through the operators that follow controllers, 0 dB = full scale.
constexpr unsigned kRate = 48000;
constexpr double kHeldSeconds = 1.0;
constexpr uint8_t kNote = 60, kNoteVelocity = 100;
constexpr double kNotePeakAtLeastDb = -20, kNotePeakAtMostDb = -8;
// Both hands of a C major chord, hit hard: every slot, every onset in phase.
constexpr uint8_t kChord[] = {48, 55, 60, 64, 67, 72};
constexpr uint8_t kChordVelocity = 127;
constexpr double kClipsAboveDb = -0.5;
constexpr double kBanksWithinDb = 3; // of each other, mean tune RMS
// Silent operators still leave the chip's output toggling by a bit or so,
// about -84 dB RMS of the chip's full scale under a released chord: that
// residue counts as silence.
constexpr double kSilentBelowChipDb = -72; // RMS of a 50 ms block
constexpr double kSilentWithinSeconds = 3; // after note off
constexpr double kDiffersByAtLeastDb = 4;  // SpectralDistance, see bandprint.h

// A short tune at velocity 100: (note, beats held), half a second a beat.
struct TuneNote {
    uint8_t note;
    double beats;
};
constexpr TuneNote kTune[] = {{60, 0.5}, {64, 0.5}, {67, 0.5}, {72, 0.5}, {71, 0.5},
                              {67, 0.5}, {65, 0.5}, {62, 0.5}, {60, 2}};
constexpr double kBeatSeconds = 0.5, kTuneTailSeconds = 0.5;

TEST(StarterBanks, TheShippedFilesAreTheLibrary) {
    const std::vector<starters::Starter> library = starters::Library();
    for (const char* bank : {"2op", "4op", "6op"}) {
        const auto count =
            std::count_if(library.begin(), library.end(),
                          [bank](const starters::Starter& s) { return s.bank == bank; });
        EXPECT_GE(count, std::string(bank) == "6op" ? 16 : 8) << bank;
    }
    for (const auto& s : library) {
        std::ifstream in(kData / s.bank / (s.name + ".sbi"), std::ios::binary);
        const std::vector<uint8_t> file(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(file, EncodePreset(s.kind, s.name, s.patch, s.settings))
            << s.bank << "/" << s.name << ": run vi801_makepresets data";
    }
    for (const auto& s : starters::kSixOperatorPresets) {
        EXPECT_NE(s.tuning1, s.tuning2) << s.name << ": the voices are tuned apart";
        EXPECT_TRUE(s.four.feedback || s.two.feedback) << s.name << ": uses feedback";
    }
}

struct Loaded {
    std::string bank, name;
    SynthPatch patch = starters::DefaultPatch();
    PatchSettings settings = starters::DefaultSettings();
};

// The starters as installed, through the store as the program loads them,
// each on a fresh start.
std::vector<Loaded> LoadStarters() {
    std::vector<Loaded> all;
    SBI store(kShare);
    for (const starters::Starter& s : starters::Library()) {
        store.GetPresetList(s.bank);
        Loaded p{s.bank, s.name};
        EXPECT_TRUE(store.LoadPreset(s.name, p.patch, p.settings)) << s.name;
        all.push_back(p);
    }
    return all;
}

// The card and chip as the window drives them: SetPatch, the output volume
// of the settings, and before each note the levels of its velocity.
class Player {
public:
    explicit Player(const Loaded& p) : p_(p) {
        EXPECT_EQ(p.settings.Pan, 0) << p.name;
        rig_.Opl3().SetPatch(p.patch, p.settings);
        const auto attenuation = static_cast<uint8_t>(31 - p.settings.Volume);
        rig_.fm.SetAttenuation(attenuation, attenuation);
    }
    void On(uint8_t note, uint8_t velocity) {
        for (int op = 0; op < kOperatorCount; ++op)
            if (p_.settings.CcMask & (1 << op))
                rig_.Opl3().SetLevel(
                    op, VelocityLevel(opl3::kLevel.Get(p_.patch.Ops[op].Reg40), velocity));
        const PatchSettings& s = p_.settings;
        rig_.Opl3().NoteOn(s.Transpose + s.Tuning1, s.Transpose + s.Tuning2, note);
    }
    void Off(uint8_t note) { rig_.Opl3().NoteOff(note); }
    Signal Render(double seconds) { return rig_.Render(seconds); }

private:
    const Loaded& p_;
    Rig rig_{kRate};
};

double PeakDb(const Signal& s) {
    return Db(std::max(Peak(s.Channel(0)), Peak(s.Channel(1))) + 1e-12);
}

double LouderRmsDb(const Signal& s) {
    return Db(std::max(Rms(s.Channel(0)), Rms(s.Channel(1))) + 1e-12);
}

struct Played {
    Signal held;        // the held notes
    double silentAfter; // seconds from note off to silence; -1 if never
    double peakDb;
};

Played Play(const Loaded& p, std::span<const uint8_t> notes, uint8_t velocity) {
    Player player(p);
    for (uint8_t note : notes)
        player.On(note, velocity);
    Played played{player.Render(kHeldSeconds), -1, 0};
    played.peakDb = PeakDb(played.held);
    for (uint8_t note : notes)
        player.Off(note);
    // The chip's residue, through the card's gain and the preset's volume.
    const double silentBelowDb =
        kSilentBelowChipDb + SoundEngine::kOutputGainDb - 1.5 * (31 - p.settings.Volume);
    constexpr double kBlock = 0.05;
    for (double t = 0; t < kSilentWithinSeconds; t += kBlock) {
        const Signal block = player.Render(kBlock);
        played.peakDb = std::max(played.peakDb, PeakDb(block));
        if (LouderRmsDb(block) < silentBelowDb) {
            played.silentAfter = t;
            break;
        }
    }
    return played;
}

// RMS of the whole tune, from its first note to the end of its tail.
double TuneRmsDb(const Loaded& p) {
    Player player(p);
    std::vector<float> all;
    for (const TuneNote& n : kTune) {
        player.On(n.note, kNoteVelocity);
        const Signal held = player.Render(n.beats * kBeatSeconds);
        all.insert(all.end(), held.samples.begin(), held.samples.end());
        player.Off(n.note);
    }
    const Signal tail = player.Render(kTuneTailSeconds);
    all.insert(all.end(), tail.samples.begin(), tail.samples.end());
    return LouderRmsDb(Signal{all, kRate});
}

TEST(StarterSounds, EachSoundsAtAHealthyLevelNeverClipsFallsSilentAndDiffersFromEveryOther) {
    const std::vector<Loaded> presets = LoadStarters();
    std::vector<SpectralPrint> prints;
    std::map<std::string, std::vector<double>> notePeaks, tunes;
    double loudestChord = -1e9;
    std::string loudest;
    std::printf("%-20s %4s %8s %8s %8s %8s %8s %8s\n", "preset", "bank", "peak dB", "chord dB",
                "tune dB", "silent s", "attack s", "centroid");
    for (const Loaded& p : presets) {
        SCOPED_TRACE(p.bank + "/" + p.name);
        const Played note = Play(p, std::span(&kNote, 1), kNoteVelocity);
        const Played chord = Play(p, kChord, kChordVelocity);
        const double tune = TuneRmsDb(p);
        const std::vector<double> mono = note.held.Channel(0);
        prints.push_back(Print(mono, note.held.rate));
        notePeaks[p.bank].push_back(note.peakDb);
        tunes[p.bank].push_back(tune);
        if (chord.peakDb > loudestChord) {
            loudestChord = chord.peakDb;
            loudest = p.bank + "/" + p.name;
        }
        std::printf("%-20s %4s %8.1f %8.1f %8.1f %8.2f %8.3f %8.0f\n", p.name.c_str(),
                    p.bank.c_str(), note.peakDb, chord.peakDb, tune, note.silentAfter,
                    AttackSeconds(mono, note.held.rate), prints.back().centroidHz);
        EXPECT_GE(note.peakDb, kNotePeakAtLeastDb);
        EXPECT_LE(note.peakDb, kNotePeakAtMostDb);
        EXPECT_LT(chord.peakDb, kClipsAboveDb);
        EXPECT_GE(note.silentAfter, 0) << "still sounding " << kSilentWithinSeconds << " s after";
        EXPECT_GE(chord.silentAfter, 0) << "still sounding " << kSilentWithinSeconds << " s after";
    }
    double quietestBank = 1e9, loudestBank = -1e9;
    for (const auto& [bank, rms] : tunes) {
        double sum = 0;
        for (double r : rms)
            sum += r;
        const double mean = sum / static_cast<double>(rms.size());
        quietestBank = std::min(quietestBank, mean);
        loudestBank = std::max(loudestBank, mean);
        const auto [low, high] =
            std::minmax_element(notePeaks[bank].begin(), notePeaks[bank].end());
        std::printf("%s: note peaks %.1f to %.1f dB, tune RMS %.1f dB (mean)\n", bank.c_str(), *low,
                    *high, mean);
    }
    std::printf("loudest chord: %s, %.1f dB\n", loudest.c_str(), loudestChord);
    EXPECT_LE(loudestBank - quietestBank, kBanksWithinDb);

    double closest = 1e9;
    std::string pair;
    for (size_t i = 0; i < presets.size(); ++i)
        for (size_t j = i + 1; j < presets.size(); ++j) {
            const double d = SpectralDistance(prints[i], prints[j]);
            EXPECT_GE(d, kDiffersByAtLeastDb) << presets[i].name << " and " << presets[j].name;
            if (d < closest) {
                closest = d;
                pair = presets[i].name + " and " + presets[j].name;
            }
        }
    std::printf("closest pair: %s, %.1f dB apart\n", pair.c_str(), closest);
}

} // namespace
