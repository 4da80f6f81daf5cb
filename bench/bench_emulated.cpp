// What the emulated card costs over the bare chip and over the recorder.
//   render: 10 s of audio with all six slots sounding, card (queue, chip,
//           resampler, volume) against OPL3_Generate alone
//   SetPatch: one patch (236 register writes) into the card's queue against
//           the same writes into the recorder
//   guard: the output's last guard on every sample of the same 10 s, one
//          sample at a time as the output stage takes them, against the
//          card's render
// Prints the ratios after the usual table.
#include "benchpatch.h"
#include "fastestreporter.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/emulated/finiteguard.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "hardware/opl3regs.h"
#include "presets/patchrecord.h"
#include "support/portrecorder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <adplug/nukedopl.h>
}

namespace {

using bench::AllOutputs;
using bench::EverythingSounds;
using bench::kChord;
using bench::PlayChord;

constexpr double kSeconds = 10.0;
constexpr unsigned kRate = 48000;
constexpr uint16_t kBase = EmulatedCard::kDefaultBase;
constexpr int kPatchesPerBatch = 16; // 3776 writes: fits the queue

void RenderCard(benchmark::State& state) {
    EmulatedCard card;
    card.SetOutputRate(kRate);
    ScopedPortBackend scope(card);
    FM801 fm(kBase);
    PlayChord(*fm.Opl3);
    const size_t frames = static_cast<size_t>(kSeconds * kRate);
    std::vector<float> block(2 * EmulatedCard::kPreferredPeriod);
    for (auto _ : state) {
        for (size_t done = 0; done < frames; done += EmulatedCard::kPreferredPeriod)
            card.Render(block.data(), EmulatedCard::kPreferredPeriod);
        benchmark::DoNotOptimize(block.data());
    }
}

void Guard(benchmark::State& state) {
    const size_t frames = static_cast<size_t>(kSeconds * kRate);
    std::vector<float> block(2 * EmulatedCard::kPreferredPeriod);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = 0.001f * static_cast<float>(i);
    for (auto _ : state) {
        for (size_t done = 0; done < frames; done += EmulatedCard::kPreferredPeriod) {
            for (float& sample : block) {
                sample = FiniteOrSilence(sample);
                benchmark::DoNotOptimize(sample); // one at a time, as in the stage
            }
        }
    }
}

void RenderChip(benchmark::State& state) {
    // The same register writes, taken from the ports, straight into a chip.
    PortRecorder ports;
    {
        ScopedPortBackend scope(ports);
        OPL3 opl3(kBase + 0x68);
        PlayChord(opl3);
    } // the destructor's reset comes last: left out below
    auto chip = std::make_unique<opl3_chip>();
    OPL3_Reset(chip.get(), EmulatedCard::kChipRate);
    uint16_t latch[2] = {0, 0};
    const auto& accesses = ports.Accesses();
    const size_t played = accesses.size() - 2 * 528;
    for (size_t i = 0; i < played; ++i) {
        const auto& a = accesses[i];
        const int offset = a.port - (kBase + 0x68);
        if (offset == 0 || offset == 2)
            latch[offset / 2] = static_cast<uint16_t>(a.value | (offset ? 0x100 : 0));
        else
            OPL3_WriteReg(chip.get(), latch[offset / 2], static_cast<uint8_t>(a.value));
    }
    const size_t samples = static_cast<size_t>(kSeconds * EmulatedCard::kChipRate);
    int16_t out[2];
    for (auto _ : state) {
        for (size_t i = 0; i < samples; ++i) {
            OPL3_Generate(chip.get(), out);
            benchmark::DoNotOptimize(out);
        }
    }
}

void SetPatchCard(benchmark::State& state) {
    EmulatedCard card;
    ScopedPortBackend scope(card);
    OPL3 opl3(kBase + 0x68);
    const SynthPatch patch = EverythingSounds();
    const PatchSettings settings = AllOutputs();
    std::vector<float> block(2 * 256);
    for (auto _ : state) {
        for (int i = 0; i < kPatchesPerBatch; ++i)
            opl3.SetPatch(patch, settings);
        state.PauseTiming();
        card.Render(block.data(), 256); // the audio thread's share: drains the queue
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kPatchesPerBatch);
}

void SetPatchRecorder(benchmark::State& state) {
    PortRecorder recorder;
    ScopedPortBackend scope(recorder);
    OPL3 opl3(kBase + 0x68);
    const SynthPatch patch = EverythingSounds();
    const PatchSettings settings = AllOutputs();
    for (auto _ : state) {
        for (int i = 0; i < kPatchesPerBatch; ++i)
            opl3.SetPatch(patch, settings);
        state.PauseTiming();
        recorder.Clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kPatchesPerBatch);
}

class RatioReporter : public bench::FastestReporter {
public:
    void PrintRatio(const char* what, const std::string& a, const std::string& b, double target) {
        if (!seconds.count(a) || !seconds.count(b)) return;
        const double ratio = seconds[a] / seconds[b];
        std::printf("%s: %.4f (target at most %g) %s\n", what, ratio, target,
                    ratio <= target ? "ok" : "OVER TARGET");
    }
};

} // namespace

BENCHMARK(RenderCard)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(RenderChip)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(SetPatchCard)->Unit(benchmark::kMicrosecond)->Repetitions(7);
BENCHMARK(SetPatchRecorder)->Unit(benchmark::kMicrosecond)->Repetitions(7);
BENCHMARK(Guard)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);

int main(int argc, char** argv) {
    std::vector<char*> args;
    bench::InitializeTakingTurns(argc, argv, args);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    reporter.PrintRatio("render 10 s, card / bare chip", "RenderCard", "RenderChip", 1.2);
    reporter.PrintRatio("SetPatch, card queue / recorder", "SetPatchCard", "SetPatchRecorder", 2.0);
    reporter.PrintRatio("render 10 s, last guard / card", "Guard", "RenderCard", 0.01);
    benchmark::Shutdown();
    return 0;
}
