// A silent chip moved on in one step against the same chip rendering.
#include "hardware/emulated/silentchip.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

extern "C" {
#include <adplug/nukedopl.h>
}

namespace {

// Every frequency, multiplier and LFO setting in use, nothing keyed.
std::unique_ptr<opl3_chip> BusySilentChip(uint32_t seed) {
    auto chip = std::make_unique<opl3_chip>();
    OPL3_Reset(chip.get(), 49716);
    std::mt19937 random(seed);
    OPL3_WriteReg(chip.get(), 0x105, 0x01);
    OPL3_WriteReg(chip.get(), 0x0BD, static_cast<uint8_t>(random() & 0xC0));
    for (uint16_t bank : {0x000, 0x100}) {
        for (uint16_t r = 0x20; r < 0x36; ++r)
            OPL3_WriteReg(chip.get(), bank | r, static_cast<uint8_t>(random()));
        for (uint16_t c = 0; c < 9; ++c) {
            OPL3_WriteReg(chip.get(), bank | (0xA0 + c), static_cast<uint8_t>(random()));
            OPL3_WriteReg(chip.get(), bank | (0xB0 + c), static_cast<uint8_t>(random() & 0x1F));
        }
    }
    return chip;
}

TEST(SilentChip, MovingOnInOneStepMatchesRendering) {
    for (uint64_t samples : {1ull, 63ull, 64ull, 1023ull, 1025ull, 20000ull, 200000ull}) {
        SCOPED_TRACE(samples);
        auto rendered = BusySilentChip(801);
        auto stepped = BusySilentChip(801);
        int16_t out[2];
        for (int i = 0; i < 777; ++i) { // somewhere within the timers' cycles
            OPL3_Generate(rendered.get(), out);
            OPL3_Generate(stepped.get(), out);
        }
        ASSERT_TRUE(ChipSilent(*rendered));
        for (uint64_t i = 0; i < samples; ++i)
            OPL3_Generate(rendered.get(), out);
        AdvanceSilentChip(*stepped, samples);
        EXPECT_EQ(stepped->timer, rendered->timer);
        EXPECT_EQ(stepped->vibpos, rendered->vibpos);
        EXPECT_EQ(stepped->tremolopos, rendered->tremolopos);
        EXPECT_EQ(stepped->tremolo, rendered->tremolo);
        EXPECT_EQ(stepped->noise, rendered->noise);
        for (int s = 0; s < 36; ++s)
            EXPECT_EQ(stepped->slot[s].pg_phase, rendered->slot[s].pg_phase) << "slot " << s;
    }
}

TEST(SilentChip, AKeyOrAnEnvelopeAboveItsFloorIsNotSilence) {
    auto chip = BusySilentChip(1);
    EXPECT_TRUE(ChipSilent(*chip));
    OPL3_WriteReg(chip.get(), 0x63, 0xF0); // instant attack
    OPL3_WriteReg(chip.get(), 0xB0, 0x20); // key on
    EXPECT_FALSE(ChipSilent(*chip));
    OPL3_WriteReg(chip.get(), 0xB0, 0x00); // released, the envelope not yet down
    int16_t out[2];
    OPL3_Generate(chip.get(), out);
    EXPECT_FALSE(ChipSilent(*chip));
}

// The idle check finds each channel's operators from its output pointers:
// a library whose chip is laid out otherwise must fail here, not quietly
// keep a card awake (or asleep).
TEST(SilentChip, TheLibrarysChipIsLaidOutAsTheIdleCheckReadsIt) {
    for (const uint8_t mode : {0x00, 0x01}) {
        for (const uint8_t fourOp : {0x00, 0x3F}) {
            for (const uint8_t rhythm : {0x00, 0x20}) {
                auto chip = std::make_unique<opl3_chip>();
                OPL3_Reset(chip.get(), 49716);
                OPL3_WriteReg(chip.get(), 0x105, mode);
                OPL3_WriteReg(chip.get(), 0x104, fourOp);
                OPL3_WriteReg(chip.get(), 0x0BD, rhythm);
                for (uint16_t c = 0; c < 9; ++c) {
                    OPL3_WriteReg(chip.get(), 0xC0 + c, 0x31);
                    OPL3_WriteReg(chip.get(), 0x1C0 + c, 0x30);
                }
                EXPECT_TRUE(ChipLayoutKnown(*chip)) << "mode " << int(mode) << " pairs "
                                                    << int(fourOp) << " rhythm " << int(rhythm);
                int mixed = 0;
                for (const opl3_channel& channel : chip->channel)
                    for (const Bit16s* out : channel.out)
                        mixed += out != &chip->zeromod;
                EXPECT_GT(mixed, 18); // the check looked at operators, not only at zeros
            }
        }
    }
}

} // namespace
