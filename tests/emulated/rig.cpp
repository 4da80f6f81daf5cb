#include "rig.h"
#include "hardware/opl3regs.h"

#include <cmath>

OperatorPatch SineOperator(uint8_t level) {
    OperatorPatch op;
    op.Reg20 = opl3::kHold.Mask() | 0x01; // multiplier 1
    op.Reg40 = static_cast<uint8_t>(63 - level);
    op.Reg60 = 0xF0; // attack 15, decay 0
    op.Reg80 = 0x00; // sustain at full level
    op.RegE0 = 0;    // sine
    return op;
}

OperatorPatch SilentOperator() {
    OperatorPatch op = SineOperator(0);
    op.Reg40 = opl3::kLevel.Mask();
    return op;
}

SynthPatch TwoOperatorSine() {
    SynthPatch patch;
    for (int j = 0; j < 5; ++j)
        patch.Ops[j] = SilentOperator();
    patch.Ops[5] = SineOperator(55);
    return patch;
}

PatchSettings TwoOperatorOutputs() {
    PatchSettings settings;
    settings.Outputs = outputs::kA2 | outputs::kB2;
    return settings;
}

double ChannelFrequency(const OPL3& opl3, uint16_t channel) {
    const uint8_t b0 = opl3.ReadRegister(0xB0 + channel);
    const int fnumber = opl3.ReadRegister(0xA0 + channel) | ((b0 & opl3::kFNumberHigh.Mask()) << 8);
    const int block = (b0 & opl3::kBlock.Mask()) >> 2;
    return fnumber * static_cast<double>(EmulatedCard::kChipRate) / std::ldexp(1.0, 20 - block);
}

int KeyedTwoOperatorChannel(const OPL3& opl3) {
    for (uint16_t base : OPL3::SlotChannel) {
        const uint16_t channel = base + 6;
        if (opl3.ReadRegister(0xB0 + channel) & opl3::kKeyOn.Mask()) return channel;
    }
    return -1;
}

Rig::Rig(unsigned rate) {
    card.SetOutputRate(rate);
}

Signal Rig::Render(double seconds) {
    return RenderFrames(static_cast<size_t>(seconds * card.OutputRate()));
}

Signal Rig::RenderFrames(size_t frames, size_t period) {
    Signal s;
    s.rate = card.OutputRate();
    s.samples.resize(2 * frames);
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min(period, frames - done);
        card.Render(s.samples.data() + 2 * done, n);
        done += n;
    }
    return s;
}
