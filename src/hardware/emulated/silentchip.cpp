#include "hardware/emulated/silentchip.h"

#include <algorithm>
#include <array>
#include <cstddef>

extern "C" {
#include <adplug/nukedopl.h>
}

namespace {
// The chip's frequency multipliers, doubled (0.5 becomes 1).
constexpr uint8_t kMultiple[16] = {1, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 20, 24, 24, 30, 30};
constexpr uint32_t kNoiseTaps = 0x800302;
constexpr int kNoiseBits = 24;
constexpr uint64_t kTremoloEvery = 64;   // samples per tremolo step
constexpr uint64_t kVibratoEvery = 1024; // samples per vibrato step
constexpr unsigned kTremoloSteps = 210;
constexpr unsigned kVibratoSteps = 8;

uint32_t NoiseStep(uint32_t noise) {
    if (noise & 1) noise ^= kNoiseTaps;
    return noise >> 1;
}

// The noise generator is linear over GF(2): Jumps()[k][i] is where bit i
// alone lands after 2^k steps.
using Jump = std::array<uint32_t, kNoiseBits>;
const std::array<Jump, 64>& Jumps() {
    static const std::array<Jump, 64> jumps = [] {
        std::array<Jump, 64> j{};
        for (int i = 0; i < kNoiseBits; ++i)
            j[0][i] = NoiseStep(1u << i);
        for (size_t k = 1; k < j.size(); ++k)
            for (int i = 0; i < kNoiseBits; ++i) {
                uint32_t once = 0, v = j[k - 1][i];
                for (int b = 0; b < kNoiseBits; ++b)
                    if (v >> b & 1) once ^= j[k - 1][b];
                j[k][i] = once;
            }
        return j;
    }();
    return jumps;
}

uint32_t NoiseAfter(uint32_t noise, uint64_t steps) {
    const auto& jumps = Jumps();
    for (size_t k = 0; steps; ++k, steps >>= 1) {
        if (!(steps & 1)) continue;
        uint32_t next = 0;
        for (int b = 0; b < kNoiseBits; ++b)
            if (noise >> b & 1) next ^= jumps[k][b];
        noise = next;
    }
    return noise;
}

// One sample's phase increment, as the chip's phase generator computes it.
uint32_t PhaseStep(const opl3_slot& slot, uint8_t vibpos, uint8_t vibshift) {
    Bit16u fnum = slot.channel->f_num;
    if (slot.reg_vib) {
        Bit8s range = (fnum >> 7) & 7;
        if (!(vibpos & 3))
            range = 0;
        else if (vibpos & 1)
            range >>= 1;
        range >>= vibshift;
        if (vibpos & 4) range = -range;
        fnum += range;
    }
    const Bit32u base = (fnum << slot.channel->block) >> 1;
    return (base * kMultiple[slot.reg_mult]) >> 1;
}

// Phases over samples [start, end) of the unwrapped timer, the vibrato
// position stepping after every sample whose timer ends in 1023.
void AdvancePhases(opl3_chip& chip, uint64_t start, uint64_t end) {
    const uint64_t firstBlock = start / kVibratoEvery;
    const uint64_t blocks = (end - 1) / kVibratoEvery - firstBlock + 1;
    for (opl3_slot& slot : chip.slot) {
        uint32_t step[kVibratoSteps], cycle = 0;
        for (unsigned v = 0; v < kVibratoSteps; ++v) {
            step[v] = PhaseStep(slot, static_cast<uint8_t>(v), chip.vibshift);
            cycle += step[v] * static_cast<uint32_t>(kVibratoEvery);
        }
        uint32_t phase = slot.pg_phase;
        for (uint64_t b = 0; b < blocks; ++b) {
            const uint64_t block = firstBlock + b;
            // Whole vibrato cycles in the middle add the same every time.
            if (b > 0 && b % kVibratoSteps == 1 && blocks - b > kVibratoSteps) {
                const uint64_t cycles = (blocks - b - 1) / kVibratoSteps;
                phase += static_cast<uint32_t>(cycles) * cycle;
                b += cycles * kVibratoSteps - 1;
                continue;
            }
            const uint64_t from = std::max(start, block * kVibratoEvery);
            const uint64_t to = std::min(end, (block + 1) * kVibratoEvery);
            const unsigned vib = (chip.vibpos + b) % kVibratoSteps;
            phase += static_cast<uint32_t>(to - from) * step[vib];
        }
        slot.pg_phase = phase;
    }
}
} // namespace

void PrepareSilentChip() {
    Jumps();
}

namespace {
// The operator whose output a channel mixes, found from where its output
// pointer points: the chip keeps no index. Null when it points anywhere but
// at an operator's output, as a copy of the chip laid out otherwise might.
const opl3_slot* SlotOf(const opl3_chip& chip, const Bit16s* out) {
    const auto* first = reinterpret_cast<const char*>(&chip.slot[0].out);
    const auto* at = reinterpret_cast<const char*>(out);
    if (at < first) return nullptr;
    const auto index = static_cast<size_t>(at - first) / sizeof(opl3_slot);
    if (index >= std::size(chip.slot) || &chip.slot[index].out != out) return nullptr;
    return &chip.slot[index];
}
} // namespace

bool ChipLayoutKnown(const opl3_chip& chip) {
    for (const opl3_channel& channel : chip.channel)
        for (const Bit16s* out : channel.out)
            if (out != &chip.zeromod && !SlotOf(chip, out)) return false;
    return true;
}

bool ChipSilent(const opl3_chip& chip) {
    // Attenuation (in 0.1875 dB steps) from which an operator gives out
    // nothing but the chip's floor, whatever its phase and modulation.
    constexpr int kFloor = 0x180;
    for (const opl3_channel& channel : chip.channel) {
        if (!channel.cha && !channel.chb) continue; // heard nowhere
        for (const Bit16s* out : channel.out) {
            if (out == &chip.zeromod) continue;
            // Unknown: never taken for silent, so the chip keeps rendering.
            const opl3_slot* found = SlotOf(chip, out);
            if (!found) return false;
            const opl3_slot& slot = *found;
            // Without a key the envelope only falls, so the floor holds.
            if (slot.key || slot.eg_rout + (slot.reg_tl << 2) < kFloor) return false;
        }
    }
    return true;
}

void AdvanceSilentChip(opl3_chip& chip, uint64_t samples) {
    if (samples == 0) return;
    const uint64_t start = chip.timer;
    const uint64_t end = start + samples;
    AdvancePhases(chip, start, end);
    chip.noise = NoiseAfter(chip.noise, samples);
    const uint64_t tremoloSteps = end / kTremoloEvery - start / kTremoloEvery;
    const uint64_t vibratoSteps = end / kVibratoEvery - start / kVibratoEvery;
    chip.tremolopos = static_cast<Bit8u>((chip.tremolopos + tremoloSteps) % kTremoloSteps);
    chip.tremolo = static_cast<Bit8u>(
        (chip.tremolopos < kTremoloSteps / 2 ? chip.tremolopos : kTremoloSteps - chip.tremolopos) >>
        chip.tremoloshift);
    chip.vibpos = static_cast<Bit8u>((chip.vibpos + vibratoSteps) % kVibratoSteps);
    chip.timer = static_cast<Bit16u>(end);
}
