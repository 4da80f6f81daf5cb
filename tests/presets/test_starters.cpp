// The shipped starter presets: the files are what the library describes, and
// each one, played on the emulated card from a fresh start, sounds, never
// clips, falls silent after its release and differs from every other.
#include "../emulated/rig.h"
#include "bandprint.h"
#include "presets/library.h"
#include "presets/sbi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(VI801_SOURCE_DIR) / "data";

// The card renders at full gain here, so 0 dB is the chip's 16-bit ceiling.
constexpr unsigned kRate = 24000;
constexpr double kHeldSeconds = 1.0;
constexpr double kSoundsAboveDb = -36; // RMS of the loudest 100 ms of one C4
constexpr double kClipsAboveDb = -0.5; // peak of the C4 and of the chord
// Silent operators still leave the chip's output toggling by a bit or so,
// about -84 dB RMS under a released chord: that residue counts as silence.
constexpr double kSilentBelowDb = -72;     // RMS of a 50 ms block
constexpr double kSilentWithinSeconds = 3; // after note off
constexpr double kDiffersByAtLeastDb = 4;  // SpectralDistance, see bandprint.h

TEST(StarterBanks, TheShippedFilesAreTheLibraryAndNothingElse) {
    SBI store(kData);
    for (const char* bank : {"2op", "4op", "6op"}) {
        std::vector<std::string> names;
        for (const auto& s : starters::Library())
            if (s.bank == bank) names.push_back(s.name);
        EXPECT_GE(names.size(), std::string(bank) == "6op" ? 16u : 8u) << bank;
        std::vector<std::string> listed = store.GetPresetList(bank);
        std::sort(names.begin(), names.end());
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, names) << bank << ": run vi801_makepresets data";
    }
    for (const auto& s : starters::Library()) {
        std::ifstream in(kData / s.bank / (s.name + ".sbi"), std::ios::binary);
        const std::vector<uint8_t> file(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(file, EncodePreset(s.kind, s.name, s.patch, s.settings)) << s.name;
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

// Through the store, as the program loads them.
std::vector<Loaded> LoadShippedPresets() {
    std::vector<Loaded> all;
    SBI store(kData);
    for (const char* bank : {"6op", "4op", "2op"})
        for (const std::string& name : store.GetPresetList(bank)) {
            Loaded p{bank, name};
            EXPECT_TRUE(store.LoadPreset(name, p.patch, p.settings)) << name;
            all.push_back(p);
        }
    return all;
}

struct Played {
    Signal held;        // the held notes
    double silentAfter; // seconds from note off to silence; -1 if never
    double peakDb;
};

Played Play(const Loaded& p, std::initializer_list<uint8_t> notes) {
    Rig rig(kRate);
    rig.fm.SetAttenuation(0, 0);
    rig.Opl3().SetPatch(p.patch, p.settings);
    const PatchSettings& s = p.settings;
    for (uint8_t note : notes)
        rig.Opl3().NoteOn(s.Transpose + s.Tuning1, s.Transpose + s.Tuning2, note);
    Played played{rig.Render(kHeldSeconds), -1, 0};
    double peak = Peak(played.held.Channel(0));
    for (uint8_t note : notes)
        rig.Opl3().NoteOff(note);
    constexpr double kBlock = 0.05;
    for (double t = 0; t < kSilentWithinSeconds; t += kBlock) {
        const Signal block = rig.Render(kBlock);
        peak = std::max({peak, Peak(block.Channel(0)), Peak(block.Channel(1))});
        if (Db(std::max(Rms(block.Channel(0)), Rms(block.Channel(1))) + 1e-12) < kSilentBelowDb) {
            played.silentAfter = t;
            break;
        }
    }
    played.peakDb = Db(std::max(peak, Peak(played.held.Channel(1))) + 1e-12);
    return played;
}

TEST(StarterSounds, EachSoundsNeverClipsFallsSilentAndDiffersFromEveryOther) {
    const std::vector<Loaded> presets = LoadShippedPresets();
    std::vector<SpectralPrint> prints;
    std::printf("%-20s %4s %8s %8s %8s %8s %8s %8s\n", "preset", "bank", "rms dB", "peak dB",
                "chord dB", "silent s", "attack s", "centroid");
    for (const Loaded& p : presets) {
        SCOPED_TRACE(p.bank + "/" + p.name);
        const Played c4 = Play(p, {60});
        const Played chord = Play(p, {60, 64, 67});
        const std::vector<double> mono = c4.held.Channel(0);
        const double rmsDb = Db(LoudestRms(mono, c4.held.rate, 0.1) + 1e-12);
        prints.push_back(Print(mono, c4.held.rate));
        std::printf("%-20s %4s %8.1f %8.1f %8.1f %8.2f %8.3f %8.0f\n", p.name.c_str(),
                    p.bank.c_str(), rmsDb, c4.peakDb, chord.peakDb, c4.silentAfter,
                    AttackSeconds(mono, c4.held.rate), prints.back().centroidHz);
        EXPECT_GT(rmsDb, kSoundsAboveDb);
        EXPECT_LT(c4.peakDb, kClipsAboveDb);
        EXPECT_LT(chord.peakDb, kClipsAboveDb);
        EXPECT_GE(c4.silentAfter, 0) << "still sounding " << kSilentWithinSeconds << " s after";
        EXPECT_GE(chord.silentAfter, 0) << "still sounding " << kSilentWithinSeconds << " s after";
    }
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
