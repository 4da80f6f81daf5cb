// The LV2 instrument against the program's render of the same song: 30
// seconds of six-note chords in Grand Piano, at 48 kHz.
//   render:  as `vi801 --render` plays it: the core started as the program
//            starts it on the card of a render, each message handed over at
//            its frame between blocks of 1024 frames; the frames taken and
//            dropped instead of written into a file
//   plugin:  the bundle of the build tree loaded by lilv, run in blocks of
//            256 frames as a host runs it, each event in its block's
//            sequence at its frame
// Prints the cost of a block against the render's cost for the same frames
// (target at most 1.1).
#include "app/commandline.h"
#include "app/songplayer.h"
#include "fastestreporter.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "plugin/lv2host.h"
#include "plugin/lv2uris.h"
#include "render/offlinerender.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr unsigned kRate = 48000;
constexpr double kSeconds = 30.0;
constexpr uint32_t kBlock = 256;
constexpr uint8_t kGrandPiano = 5; // its place in the 6op bank

// A new chord every half second, the old released as the new starts.
std::vector<FramedMessage> Song() {
    const uint8_t chords[4][6] = {{48, 55, 60, 64, 67, 72},
                                  {45, 52, 57, 60, 64, 69},
                                  {41, 48, 53, 57, 60, 65},
                                  {43, 50, 55, 59, 62, 67}};
    std::vector<FramedMessage> song = {{0, {0xC0, kGrandPiano, 0}}};
    const int count = static_cast<int>(kSeconds * 2);
    for (int c = 0; c <= count; ++c) {
        const uint64_t frame = static_cast<uint64_t>(c) * kRate / 2;
        if (c > 0)
            for (uint8_t note : chords[(c - 1) % 4])
                song.push_back({frame, {0x80, note, 0}});
        if (c < count)
            for (uint8_t note : chords[c % 4])
                song.push_back({frame, {0x90, note, 100}});
    }
    return song;
}

const std::filesystem::path kBanks = VI801_SHARE_DIR; // the program's starter banks
const std::vector<FramedMessage> kSong = Song();
uint64_t renderedFrames = 0;

uint64_t RenderOnce() {
    EmulatedCard card;
    card.SetOutputRate(kRate);
    ScopedThreadPortBackend ports(card);
    SongPlayer player(card.Base(), CommandLine{}, kBanks);
    OfflineRender render;
    render.deliver = [&player](ShortMessage m) { player.Play(m); };
    render.write = [](const float* frames, size_t) { benchmark::DoNotOptimize(frames); };
    return render.Run(card, kSong);
}

void Render(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(RenderOnce());
}

std::unique_ptr<Lv2World> world; // made in main

void Plugin(benchmark::State& state) {
    // The song cut into the host's blocks beforehand.
    std::vector<std::vector<MidiAt>> blocks((renderedFrames + kBlock - 1) / kBlock);
    for (const FramedMessage& m : kSong)
        blocks[m.Frame / kBlock].push_back(
            {m.Frame % kBlock, {m.Message.Status, m.Message.Data1, m.Message.Data2}});
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        state.PauseTiming();
        auto synth = std::make_unique<Lv2Instance>(*world, kRate);
        state.ResumeTiming();
        for (uint64_t b = 0; b < blocks.size(); ++b) {
            const uint64_t n = std::min<uint64_t>(kBlock, renderedFrames - b * kBlock);
            synth->Run(static_cast<uint32_t>(n), blocks[b], left.data(), right.data());
        }
        benchmark::DoNotOptimize(left.data());
        state.PauseTiming();
        synth.reset();
        state.ResumeTiming();
    }
}

class RatioReporter : public bench::FastestReporter {
public:
    void PrintRatio() {
        if (!seconds.count("Plugin") || !seconds.count("Render")) return;
        const double ratio = seconds["Plugin"] / seconds["Render"];
        const double blocks = static_cast<double>(renderedFrames) / kBlock;
        std::printf("plugin / render: %.3f (target at most 1.1) %s; in CPU time %.3f\n", ratio,
                    ratio <= 1.1 ? "ok" : "OVER TARGET",
                    cpuSeconds["Plugin"] / cpuSeconds["Render"]);
        std::printf("a block of %u frames: %.1f us in the plugin, %.1f us of the render's time; "
                    "%.0f x real time\n",
                    kBlock, 1e6 * seconds["Plugin"] / blocks, 1e6 * seconds["Render"] / blocks,
                    static_cast<double>(renderedFrames) / kRate / seconds["Plugin"]);
    }
};

} // namespace

BENCHMARK(Render)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);
BENCHMARK(Plugin)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);

int main(int argc, char** argv) {
    std::vector<char*> args;
    bench::InitializeTakingTurns(argc, argv, args);
    world = std::make_unique<Lv2World>(VI801_LV2_DIR, plugin::kPluginUri);
    if (!world->Plugin()) {
        std::fprintf(stderr, "no plugin in %s\n", VI801_LV2_DIR);
        return 1;
    }
    renderedFrames = RenderOnce();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%.0f s of six voices, %llu frames\n", kSeconds,
                static_cast<unsigned long long>(renderedFrames));
    reporter.PrintRatio();
    world.reset();
    benchmark::Shutdown();
    return 0;
}
