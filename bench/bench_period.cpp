// The emulated card measured as a real-time instrument, offline, through the
// same path the audio callback takes (Render with one period at a time):
//   cost of each period at 32, 64 and 128 frames with six notes sounding:
//     p50, p99, p99.9 and max, the max also as a share of the period; in CPU
//     time of the rendering thread (what the period costs), and in wall time
//     (which adds whatever else the machine ran meanwhile)
//   write-to-sound: a key-on written just before a period starts, and the
//     frames until its first sound (-60 dBFS), over many starting points
//   idle: one period with nothing sounding against a bare callback that only
//     writes silence
// Prints the figures and each against its target.
#include "benchpatch.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "hardware/opl3regs.h"
#include "presets/patchrecord.h"
#include "support/percentile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using bench::AllOutputs;
using bench::EverythingSounds;
using bench::kChord;

using Clock = std::chrono::steady_clock;
constexpr unsigned kRate = 48000;
constexpr uint16_t kBase = EmulatedCard::kDefaultBase;
constexpr double kSilence = 1e-3; // -60 dBFS

double Micro(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double ThreadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e6 * static_cast<double>(t.tv_sec) + 1e-3 * static_cast<double>(t.tv_nsec);
}

// Operator 6 alone: a sine that starts at full level at once.
SynthPatch InstantSine() {
    SynthPatch patch;
    for (auto& op : patch.Ops) {
        op.Reg20 = opl3::kHold.Mask() | 0x01;
        op.Reg40 = opl3::kLevel.Mask();
        op.Reg60 = 0xF0;
        op.Reg80 = 0x00;
        op.RegE0 = 0;
    }
    patch.Ops[5].Reg40 = 0x08;
    return patch;
}

PatchSettings SecondVoiceOutputs() {
    PatchSettings settings;
    settings.Outputs = outputs::kA2 | outputs::kB2;
    return settings;
}

struct Card {
    Card() { card.SetOutputRate(kRate); }
    EmulatedCard card;
    ScopedPortBackend scope{card};
    FM801 fm{kBase};
    OPL3& Opl3() { return *fm.Opl3; }
};

void PeriodCost(unsigned period, double seconds) {
    Card c;
    c.Opl3().SetPatch(EverythingSounds(), AllOutputs());
    for (uint8_t note : kChord)
        c.Opl3().NoteOn(0, 0, note);
    std::vector<float> out(2 * period);
    for (int i = 0; i < 200; ++i) // warm caches and the resampler
        c.card.Render(out.data(), period);
    const size_t calls = static_cast<size_t>(seconds * kRate / period);
    std::vector<double> cpu(calls), wall(calls);
    for (size_t i = 0; i < calls; ++i) {
        const Clock::time_point t0 = Clock::now();
        const double c0 = ThreadCpuUs();
        c.card.Render(out.data(), period);
        cpu[i] = ThreadCpuUs() - c0;
        wall[i] = Micro(Clock::now() - t0);
    }
    const double periodUs = 1e6 * period / kRate;
    for (const auto* us : {&cpu, &wall}) {
        const double max = *std::max_element(us->begin(), us->end());
        double sum = 0;
        for (double u : *us)
            sum += u;
        const bool target = us == &cpu && period == 32;
        std::printf("period %4u frames (%6.1f us), %s: mean %6.2f  p50 %6.2f  p99 %6.2f  "
                    "p99.9 %7.2f  max %7.2f us = %5.1f %% of the period%s\n",
                    period, periodUs, us == &cpu ? "cpu " : "wall",
                    sum / static_cast<double>(calls), Percentile(*us, 0.5), Percentile(*us, 0.99),
                    Percentile(*us, 0.999), max, 100.0 * max / periodUs,
                    !target                  ? ""
                    : max <= 0.25 * periodUs ? "  (target 25 %: ok)"
                                             : "  (target 25 %: OVER)");
    }
}

// Frames from the start of the period after the key-on was written to the
// first frame louder than -60 dBFS.
void WriteToSound(unsigned period) {
    std::vector<float> out(2 * period);
    size_t worst = 0, sum = 0;
    constexpr int kStarts = 40;
    for (int start = 0; start < kStarts; ++start) {
        Card c;
        c.Opl3().SetPatch(InstantSine(), SecondVoiceOutputs());
        // A different number of silent periods each time, so the note meets
        // the resampler and the chip at many different points.
        for (int i = 0; i < 20 + start * 7; ++i)
            c.card.Render(out.data(), period);
        c.Opl3().NoteOn(0, 0, 69);
        size_t frame = 0;
        bool found = false;
        for (int p = 0; p < 2000 && !found; ++p) {
            c.card.Render(out.data(), period);
            for (unsigned i = 0; i < period && !found; ++i) {
                if (std::fabs(out[2 * i]) > kSilence || std::fabs(out[2 * i + 1]) > kSilence)
                    found = true;
                else
                    ++frame;
            }
        }
        worst = std::max(worst, frame);
        sum += frame;
    }
    std::printf("write to sound, period %4u: mean %7.1f frames, max %5zu frames = %5.2f periods "
                "(%.2f ms)  (target one period: %s)\n",
                period, static_cast<double>(sum) / kStarts, worst,
                static_cast<double>(worst) / period, 1000.0 * static_cast<double>(worst) / kRate,
                worst <= period ? "ok" : "OVER");
}

void IdleCost(unsigned period) {
    Card c;
    SynthPatch patch = InstantSine();
    patch.Ops[5].Reg80 = 0x0F; // a release that ends
    c.Opl3().SetPatch(patch, SecondVoiceOutputs());
    c.Opl3().NoteOn(0, 0, 69);
    std::vector<float> out(2 * period);
    for (int i = 0; i < 100; ++i)
        c.card.Render(out.data(), period);
    c.Opl3().NoteOff(69);
    for (int i = 0; i < 3000; ++i) // release, and whatever tail follows it
        c.card.Render(out.data(), period);
    const size_t calls = static_cast<size_t>(10.0 * kRate / period);
    const double t0 = ThreadCpuUs();
    for (size_t i = 0; i < calls; ++i)
        c.card.Render(out.data(), period);
    const double card = (ThreadCpuUs() - t0) / static_cast<double>(calls);
    const double t1 = ThreadCpuUs();
    for (size_t i = 0; i < calls; ++i) {
        std::memset(out.data(), 0, out.size() * sizeof(float));
        asm volatile("" : : "r"(out.data()) : "memory");
    }
    const double bare = (ThreadCpuUs() - t1) / static_cast<double>(calls);
    std::printf("idle, period %4u: card %.3f us, bare callback %.3f us per period; card costs "
                "%.2f %% of a core\n",
                period, card, bare, 100.0 * card / (1e6 * period / kRate));
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    std::printf("Cost of one period with six notes sounding, %.0f s of audio each:\n", seconds);
    for (unsigned period : {32u, 64u, 128u})
        PeriodCost(period, seconds);
    std::printf("\nWrite to sound, offline:\n");
    for (unsigned period : {32u, 64u, 128u})
        WriteToSound(period);
    std::printf("\nIdle, nothing sounding:\n");
    for (unsigned period : {32u, 64u, 128u})
        IdleCost(period);
    return 0;
}
