// Offline rendering of a 60-second MIDI file with six voices sounding
// throughout, against the bare chip over the same duration (the song and
// the release of its last chord):
//   render:  the file read, every message played on the card's chip at its
//            own frame, 48 kHz, the frames thrown away
//   to WAV:  the same into a 24-bit WAV file
//   chip:    OPL3_Generate alone at the chip's rate, six notes on
// Prints both ratios to the bare chip (target at most 1.3) and the speed of
// rendering as a multiple of real time.
#include "app/cardchoice.h"
#include "app/offlinerender.h"
#include "app/rendersong.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "hardware/opl3regs.h"
#include "midi/midifile.h"
#include "presets/patchrecord.h"
#include "support/smfbuilder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <adplug/nukedopl.h>
}

namespace {

constexpr double kSeconds = 60.0;
constexpr unsigned kRate = 48000;
constexpr uint16_t kBase = EmulatedCard::kDefaultBase;

SynthPatch EverythingSounds() {
    SynthPatch patch;
    for (auto& op : patch.Ops) {
        op.Reg20 = opl3::kHold.Mask() | opl3::kVibrato.Mask() | 0x01;
        op.Reg40 = 0x08;
        op.Reg60 = 0xF2;
        op.Reg80 = 0x13;
        op.RegE0 = 0x01;
    }
    SetConnectionBits(patch, 5);
    patch.RegC0Ops12 |= 0x06;
    return patch;
}

PatchSettings AllOutputs() {
    PatchSettings settings;
    settings.Outputs = outputs::kA | outputs::kB | outputs::kA2 | outputs::kB2;
    settings.LfoDepth = lfo::kTremoloDeep | lfo::kVibratoDeep;
    return settings;
}

// Six-note chords, a new one every half second (a quarter note at 120
// bpm), the old released as the new starts: six voices all along.
MidiFile Song() {
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
    return ParseMidiFile(song.Bytes());
}

const MidiFile kSong = Song();

struct Card {
    Card() {
        card.SetOutputRate(kRate);
        fm.Opl3->SetPatch(EverythingSounds(), AllOutputs());
    }
    void Play(ShortMessage m) {
        if ((m.Status & 0xF0) == 0x90 && m.Data2)
            fm.Opl3->NoteOn(0, 0, m.Data1);
        else if ((m.Status & 0xF0) == 0x80 || (m.Status & 0xF0) == 0x90)
            fm.Opl3->NoteOff(m.Data1);
    }
    EmulatedCard card;
    ScopedPortBackend scope{card};
    FM801 fm{kBase};
};

uint64_t RenderOnce() {
    Card c;
    OfflineRender render;
    render.deliver = [&c](ShortMessage m) { c.Play(m); };
    render.write = [](const float* frames, size_t) { benchmark::DoNotOptimize(frames); };
    return render.Run(c.card, FrameMessages(kSong.Messages, kRate));
}

// The song and the release of its last chord: what the bare chip renders
// too. Set in main: the port functions are not ready during static
// initialization.
double renderedSeconds = 0;

void Render(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(RenderOnce());
}

void RenderToWavFile(benchmark::State& state) {
    CommandLine options;
    options.out = (std::filesystem::temp_directory_path() / "vi801-bench-render.wav").string();
    for (auto _ : state) {
        Card c;
        RenderToWav(
            kSong, options, c.card, [&c](ShortMessage m) { c.Play(m); }, nullptr);
    }
    std::filesystem::remove(options.out);
}

void Chip(benchmark::State& state) {
    // The registers of six sounding notes, taken from the ports, straight into a chip.
    PortRecorder ports;
    {
        ScopedPortBackend scope(ports);
        OPL3 opl3(kBase + 0x68);
        opl3.SetPatch(EverythingSounds(), AllOutputs());
        for (uint8_t note : {48, 55, 60, 64, 67, 72})
            opl3.NoteOn(0, 0, note);
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

// The fastest repetition of each: on a shared machine the least disturbed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            const double t = run.real_accumulated_time / static_cast<double>(run.iterations);
            if (!seconds.count(name) || t < seconds[name]) seconds[name] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const char* what, const std::string& name) {
        if (!seconds.count(name) || !seconds.count("Chip")) return;
        const double ratio = seconds[name] / seconds["Chip"];
        std::printf("%s / bare chip: %.3f (target at most 1.3) %s; %.1f x real time\n", what, ratio,
                    ratio <= 1.3 ? "ok" : "OVER TARGET", renderedSeconds / seconds[name]);
    }
};

} // namespace

BENCHMARK(Render)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(RenderToWavFile)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(Chip)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

int main(int argc, char** argv) {
    // The sides of a ratio take turns, so a busy spell hits them alike.
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave.data());
    argc = static_cast<int>(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    renderedSeconds = static_cast<double>(RenderOnce()) / kRate;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%.0f s of six voices, %zu messages, %.2f s rendered\n", kSeconds,
                kSong.Messages.size(), renderedSeconds);
    reporter.PrintRatio("render", "Render");
    reporter.PrintRatio("render to WAV", "RenderToWavFile");
    benchmark::Shutdown();
    return 0;
}
