// Rendering a 60-second MIDI file with six voices sounding throughout, as
// `vi801 --render` renders it, against the bare chip over the same
// duration (the song and the release of its last chord):
//   render:  the whole path: the file read, the emulated card of a render,
//            the synthesizer core started with the preset applied, every
//            message handed to it at its own frame, 48 kHz into a 24-bit
//            WAV file; no QApplication, no window
//   chip:    OPL3_Generate alone at the chip's rate, six notes on
// Prints the ratio to the bare chip (target at most 1.3) and the speed of
// rendering as a multiple of real time.

// The library's header declares C functions without saying so.
extern "C" {
#include <adplug/nukedopl.h>
}

#include "app/cardsession.h"
#include "app/renderrun.h"
#include "benchpatch.h"
#include "fastestreporter.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "midi/midifile.h"
#include "presets/presetfile.h"
#include "support/portrecorder.h"
#include "support/smfbuilder.h"
#include "support/tempfolder.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kSeconds = 60.0;
constexpr uint16_t kBase = EmulatedCard::kDefaultBase;
constexpr const char* kPreset = "Everything Sounds";

// Six-note chords, a new one every half second (a quarter note at 120
// bpm), the old released as the new starts: six voices all along.
std::vector<uint8_t> Song() {
    SmfBuilder song(0, 480);
    song.Track().Tempo(0, 500000);
    const uint8_t chords[4][6] = {{48, 55, 60, 64, 67, 72},
                                  {45, 52, 57, 60, 64, 69},
                                  {41, 48, 53, 57, 60, 65},
                                  {43, 50, 55, 59, 62, 67}};
    const int count = static_cast<int>(kSeconds * 2);
    for (int c = 0; c < count; ++c) {
        const uint8_t* chord = chords[c % 4];
        if (c > 0)
            for (int i = 0; i < 6; ++i)
                song.Event(i == 0 ? 480 : 0, {0x80, chords[(c - 1) % 4][i], 0});
        for (int i = 0; i < 6; ++i)
            song.Event(0, {0x90, chord[i], 100});
    }
    for (int i = 0; i < 6; ++i)
        song.Event(i == 0 ? 480 : 0, {0x80, chords[(count - 1) % 4][i], 0});
    song.EndOfTrack();
    return song.Bytes();
}

// A folder of its own: the song, and a 6op bank holding the bench's preset.
struct Folder : TempFolder {
    Folder() : TempFolder("bench-render") {
        PatchSettings settings = bench::AllOutputs();
        settings.Volume = 25;
        Put(fs::path("6op") / (std::string(kPreset) + ".sbi"),
            EncodePreset(PresetKind::SixOperator, kPreset, bench::EverythingSounds(), settings));
        Put("song.mid", Song());
    }
    CommandLine Options() const {
        CommandLine options;
        options.render = (root / "song.mid").string();
        options.out = (root / "song.wav").string();
        options.preset = kPreset;
        return options;
    }
};

std::unique_ptr<Folder> folder; // made in main

// What vi801 --render does. Returns the seconds of audio.
double RenderOnce() {
    const CommandLine options = folder->Options();
    const MidiFile song = ReadMidiFile(options.render);
    CardSession card(options);
    return RenderWithCore(song, options, card, folder->root, nullptr).seconds;
}

// The song and the release of its last chord: what the bare chip renders too.
double renderedSeconds = 0;

void Render(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(RenderOnce());
}

void Chip(benchmark::State& state) {
    // The registers of six sounding notes, taken from the ports, straight into a chip.
    PortRecorder ports;
    {
        ScopedPortBackend scope(ports);
        OPL3 opl3(kBase + 0x68);
        bench::PlayChord(opl3);
    } // the destructor's reset comes last: left out below
    auto chip = std::make_unique<opl3_chip>();
    OPL3_Reset(chip.get(), EmulatedCard::kChipRate);
    uint16_t latch[2] = {0, 0};
    const auto& accesses = ports.Accesses();
    for (size_t i = 0; i + 2 * 528 < accesses.size(); ++i) {
        const int offset = accesses[i].port - (kBase + 0x68);
        if (offset == 0 || offset == 2)
            latch[offset / 2] = static_cast<uint16_t>(accesses[i].value | (offset ? 0x100 : 0));
        else
            OPL3_WriteReg(chip.get(), latch[offset / 2], static_cast<uint8_t>(accesses[i].value));
    }
    const size_t samples = static_cast<size_t>(renderedSeconds * EmulatedCard::kChipRate);
    int16_t out[2];
    for (auto _ : state) {
        for (size_t i = 0; i < samples; ++i) {
            OPL3_Generate(chip.get(), out);
            benchmark::DoNotOptimize(out);
        }
    }
}

class RatioReporter : public bench::FastestReporter {
public:
    void PrintRatio(const char* what, const std::string& name) {
        if (!seconds.count(name) || !seconds.count("Chip")) return;
        const double ratio = seconds[name] / seconds["Chip"];
        std::printf("%s / bare chip: %.3f (target at most 1.3) %s; %.1f x real time "
                    "(bare chip %.1f x)\n",
                    what, ratio, ratio <= 1.3 ? "ok" : "OVER TARGET",
                    renderedSeconds / seconds[name], renderedSeconds / seconds["Chip"]);
        std::printf("in CPU time: %.3f\n", cpuSeconds[name] / cpuSeconds["Chip"]);
    }
};

} // namespace

BENCHMARK(Render)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);
BENCHMARK(Chip)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);

int main(int argc, char** argv) {
    std::vector<char*> args;
    bench::InitializeTakingTurns(argc, argv, args);
    folder = std::make_unique<Folder>();
    renderedSeconds = RenderOnce();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%.0f s of six voices, %.2f s rendered\n", kSeconds, renderedSeconds);
    reporter.PrintRatio("render through the core into a WAV file", "Render");
    folder.reset();
    benchmark::Shutdown();
    return 0;
}
