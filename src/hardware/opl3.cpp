#include "hardware/opl3.h"

#include "error.h"
#include "hardware/giveio.h"

#include <cmath>

namespace {
constexpr const char* kIllegalIndex = "Illegal OPL3 register index";

constexpr uint8_t kOpl3ModeRegister = 0x05;     // bank 1
constexpr uint8_t kFourOperatorRegister = 0x04; // bank 1
constexpr uint8_t kOpl3ModeOn = 0x01;
constexpr uint8_t kAllFourOperatorPairs = 0x3F;
constexpr uint16_t kBank1 = 0x100;
constexpr uint8_t kLastResetRegister = 0xF5;
constexpr uint8_t kLfoDepthRegister = 0xBD;

// Channel registers; + 3 and + 6 reach the other two channels of a slot.
constexpr uint8_t kFrequencyLow = 0xA0;
constexpr uint8_t kKeyBlock = 0xB0;
constexpr uint8_t kChannelControl = 0xC0;
constexpr uint8_t kSecondPairChannel = 3;
constexpr uint8_t kTwoOperatorChannel = 6;

// Operator register bases.
constexpr uint8_t kOp20 = 0x20;
constexpr uint8_t kOp40 = 0x40;
constexpr uint8_t kOp60 = 0x60;
constexpr uint8_t kOp80 = 0x80;
constexpr uint8_t kOpE0 = 0xE0;

constexpr int kMaxBlock = 7;
constexpr uint16_t kMaxFNumber = 1023;

uint8_t Flag(uint8_t old, uint8_t bit, uint8_t on) {
    return on ? (old | bit) : (old & static_cast<uint8_t>(~bit));
}
} // namespace

std::array<uint16_t, OPL3::kFrequencyTableSize> OPL3::FrequencyTable{};

OPL3::OPL3(uint16_t portBase) : PortBase(portBase), Slots(new int32_t[kSlotCount]) {
    for (int s = 0; s < kSlotCount; ++s)
        Slots[s] = FreeSlot;
    BuildFrequencyTable();
    Reset();
}

OPL3::~OPL3() {
    Reset();
}

void OPL3::Write(uint16_t index, uint8_t value) {
    if (index < kBank1) {
        OutByte(PortBase, static_cast<uint8_t>(index));
        OutByte(PortBase + 1, value);
    } else {
        OutByte(PortBase + 2, static_cast<uint8_t>(index & 0xFF));
        OutByte(PortBase + 3, value);
    }
    Shadow[index] = value;
}

void OPL3::WriteRegister(uint16_t index, uint8_t value) {
    if (index >= kRegisterCount) throw Error(kIllegalIndex);
    Write(index, value);
}

uint8_t OPL3::ReadRegister(uint16_t index) const {
    if (index >= kRegisterCount) throw Error(kIllegalIndex);
    return Shadow[index];
}

void OPL3::Reset() {
    for (uint16_t r = 0x01; r <= kLastResetRegister; ++r) {
        Write(r, 0);
        Write(kBank1 + r, 0);
    }
    // 0x104 and 0x105 were cleared in passing; OPL3 mode must be on before
    // the four-operator bits mean anything.
    Write(kBank1 + kOpl3ModeRegister, kOpl3ModeOn);
    Write(kBank1 + kFourOperatorRegister, kAllFourOperatorPairs);
    // Key every channel on and off so none is left in a half-started state.
    for (uint16_t c = 0; c <= 8; ++c) {
        Write(kKeyBlock + c, reg::kKeyOn);
        Write(kBank1 + kKeyBlock + c, reg::kKeyOn);
        Write(kKeyBlock + c, 0);
        Write(kBank1 + kKeyBlock + c, 0);
    }
    for (int s = 0; s < kSlotCount; ++s)
        Slots[s] = FreeSlot;
}

// ---- Notes -----------------------------------------------------------------

void OPL3::BuildFrequencyTable() {
    // F-number at block 4 = f * 2^19 / (8 * 49715), the chip running at 49715 Hz.
    constexpr double kFNumberPerHz = 524288;
    constexpr double kInverseClock = 2.514331690636629e-6;
    constexpr int kGroups = 13;
    double base[kGroups];
    double f = 220.0;
    for (int i = 1; i <= kGroups + 1; ++i) {
        f = f * std::pow(2.0, 1.0 / 12);
        if (i >= 2) base[i - 2] = f; // 246.94 Hz (B below middle C) .. 493.88 Hz
    }
    for (int g = 0; g < kGroups; ++g) {
        FrequencyTable[100 * g] =
            static_cast<uint16_t>(std::trunc(base[g] * kFNumberPerHz * kInverseClock + 0.5));
        for (int c = 1; c <= 99; ++c) {
            const double x =
                base[g] * std::pow(2.0, (c * 0.01) / 12) * kFNumberPerHz * kInverseClock + 0.5;
            FrequencyTable[100 * g + c] = static_cast<uint16_t>(std::trunc(x));
        }
    }
}

OPL3::Frequency OPL3::ComputeFrequency(int32_t note, int32_t cents) {
    const int32_t n = note + cents / 100;
    const int32_t r = cents % 100; // sign of cents
    int32_t s = n % 12;
    if (s < 0) s += 12;
    // Negative r reads the semitone below, raised by 100 + r cents.
    uint32_t f = FrequencyTable[100 * s + 100 + r];
    int32_t block = 0;
    if (n >= 12) {
        block = n / 12 - 1;
        if (block > kMaxBlock) {
            // Above the chip's top octave: one doubling, then the F-number ceiling.
            block = kMaxBlock;
            f *= 2;
            if (f > kMaxFNumber) f = kMaxFNumber;
        }
    } else if (n >= 0) {
        f >>= 1;
    } else if (n >= -12) {
        f >>= 2;
    } else if (n >= -24) {
        f >>= 3;
    } else {
        f >>= 4;
    }
    return {static_cast<uint8_t>((block * 4) & reg::kBlockMask), static_cast<uint16_t>(f)};
}

void OPL3::KeyOn(uint8_t note, int32_t cents4, int32_t cents2, int slot) {
    const uint16_t ch = SlotChannel[slot];
    const Frequency f4 = ComputeFrequency(note, cents4);
    const Frequency f2 = ComputeFrequency(note, cents2);
    auto high = [](const Frequency& f) {
        return static_cast<uint8_t>(reg::kKeyOn + f.Block + ((f.FNumber >> 8) & reg::kFHighMask));
    };
    WriteRegister(kFrequencyLow + ch, static_cast<uint8_t>(f4.FNumber & 0xFF));
    WriteRegister(kFrequencyLow + kTwoOperatorChannel + ch,
                  static_cast<uint8_t>(f2.FNumber & 0xFF));
    WriteRegister(kKeyBlock + ch, high(f4));
    WriteRegister(kKeyBlock + kTwoOperatorChannel + ch, high(f2));
}

void OPL3::KeyOff(int slot) {
    Slots[slot] = FreeSlot;
    const uint16_t ch = SlotChannel[slot];
    // Block and F-number stay, so the release keeps the note's pitch.
    for (uint16_t index :
         {uint16_t(kKeyBlock + ch), uint16_t(kKeyBlock + kTwoOperatorChannel + ch)})
        WriteRegister(index, ReadRegister(index) & static_cast<uint8_t>(~reg::kKeyOn));
}

int32_t OPL3::NoteOn(int32_t cents4, int32_t cents2, uint8_t note) {
    int32_t count = 0;
    bool sounding = false;
    int chosen = -1;
    for (int s = 0; s < kSlotCount; ++s) {
        if (Slots[s] == FreeSlot) {
            chosen = s; // the highest free slot wins
        } else {
            ++count;
            if (Slots[s] == note) sounding = true;
        }
    }
    // No stealing and no re-triggering.
    if (sounding || chosen < 0) return count;
    Slots[chosen] = note;
    KeyOn(note, cents4, cents2, chosen);
    return count + 1;
}

int32_t OPL3::NoteOff(uint8_t note) {
    int32_t count = 0;
    for (int s = 0; s < kSlotCount; ++s) {
        if (Slots[s] == note)
            KeyOff(s);
        else if (Slots[s] != FreeSlot)
            ++count;
    }
    return count;
}

void OPL3::Retune(int32_t cents4, int32_t cents2) {
    for (int s = 0; s < kSlotCount; ++s)
        if (Slots[s] != FreeSlot) KeyOn(static_cast<uint8_t>(Slots[s]), cents4, cents2, s);
}

// ---- Patch -----------------------------------------------------------------

uint16_t OPL3::OperatorRegister(uint8_t base, int slot, int32_t op) {
    return base + OperatorOffset[SlotOperatorBase[slot] + 3 * op];
}

void OPL3::SetPatch(const SynthPatch& patch, const PatchSettings& settings) {
    for (int s = 0; s < kSlotCount; ++s) {
        for (int j = 0; j < kOperatorCount; ++j) {
            const OperatorPatch& op = patch.Ops[j];
            WriteRegister(OperatorRegister(kOp20, s, j), op.Reg20);
            WriteRegister(OperatorRegister(kOp40, s, j), op.Reg40);
            WriteRegister(OperatorRegister(kOp60, s, j), op.Reg60);
            WriteRegister(OperatorRegister(kOp80, s, j), op.Reg80);
            WriteRegister(OperatorRegister(kOpE0, s, j), op.RegE0);
        }
        const uint16_t ch = SlotChannel[s];
        WriteRegister(kChannelControl + ch, patch.RegC0Ops12);
        WriteRegister(kChannelControl + kSecondPairChannel + ch, patch.RegC0Ops34);
        WriteRegister(kChannelControl + kTwoOperatorChannel + ch, patch.RegC0Ops56);
    }
    // The settings decide the output bits, whatever the channel bytes held.
    SetTremoloDepth(settings.LfoDepth & lfo::kTremoloDeep);
    SetVibratoDepth(settings.LfoDepth & lfo::kVibratoDeep);
    SetOutputA(settings.Outputs & outputs::kA);
    SetOutputB(settings.Outputs & outputs::kB);
    SetOutputA2(settings.Outputs & outputs::kA2);
    SetOutputB2(settings.Outputs & outputs::kB2);
}

void OPL3::UpdateOperator(uint8_t base, int32_t op, uint8_t keep, uint8_t bits) {
    if (op < 0 || op >= kOperatorCount)
        return; // would address another slot's operators, or none at all
    const uint8_t value = (ReadRegister(OperatorRegister(base, 0, op)) & keep) | bits;
    for (int s = 0; s < kSlotCount; ++s)
        WriteRegister(OperatorRegister(base, s, op), value);
}

void OPL3::UpdateChannel(uint8_t base, uint8_t keep, uint8_t bits) {
    const uint8_t value = (ReadRegister(base + SlotChannel[0]) & keep) | bits;
    for (int s = 0; s < kSlotCount; ++s)
        WriteRegister(base + SlotChannel[s], value);
}

void OPL3::UpdateOperatorFlag(uint8_t base, int32_t op, uint8_t flag, uint8_t on) {
    UpdateOperator(base, op, static_cast<uint8_t>(~flag), on ? flag : 0);
}

void OPL3::UpdateChannelFlag(uint8_t base, uint8_t flag, uint8_t on) {
    UpdateChannel(base, static_cast<uint8_t>(~flag), on ? flag : 0);
}

void OPL3::SetTremolo(int32_t op, uint8_t on) {
    UpdateOperatorFlag(kOp20, op, reg::kTremolo, on);
}

void OPL3::SetVibrato(int32_t op, uint8_t on) {
    UpdateOperatorFlag(kOp20, op, reg::kVibrato, on);
}

void OPL3::SetHold(int32_t op, uint8_t on) {
    UpdateOperatorFlag(kOp20, op, reg::kHold, on);
}

void OPL3::SetRateScaling(int32_t op, uint8_t on) {
    UpdateOperatorFlag(kOp20, op, reg::kRateScaling, on);
}

void OPL3::SetFreqMultiplier(int32_t op, uint8_t value) {
    UpdateOperator(kOp20, op, static_cast<uint8_t>(~reg::kMultMask), value & reg::kMultMask);
}

void OPL3::SetLevelScaling(int32_t op, uint8_t value) {
    UpdateOperator(kOp40, op, reg::kTlMask, (value << reg::kKslShift) & reg::kKslMask);
}

void OPL3::SetLevel(int32_t op, uint8_t value) {
    // The chip takes attenuation: level 63 is total level 0.
    UpdateOperator(kOp40, op, reg::kKslMask, (reg::kTlMask - value) & reg::kTlMask);
}

void OPL3::SetAttack(int32_t op, uint8_t value) {
    UpdateOperator(kOp60, op, reg::kLowNibble, (value << 4) & reg::kHighNibble);
}

void OPL3::SetDecay(int32_t op, uint8_t value) {
    UpdateOperator(kOp60, op, reg::kHighNibble, value & reg::kLowNibble);
}

void OPL3::SetSustain(int32_t op, uint8_t value) {
    UpdateOperator(kOp80, op, reg::kLowNibble, (value << 4) & reg::kHighNibble);
}

void OPL3::SetRelease(int32_t op, uint8_t value) {
    UpdateOperator(kOp80, op, reg::kHighNibble, value & reg::kLowNibble);
}

void OPL3::SetWaveform(int32_t op, uint8_t value) {
    // The register holds nothing else, so it is written without reading.
    if (op < 0 || op >= kOperatorCount) return;
    for (int s = 0; s < kSlotCount; ++s)
        WriteRegister(OperatorRegister(kOpE0, s, op), value & reg::kWaveMask);
}

void OPL3::SetConnection(uint8_t index) {
    const uint8_t keep = static_cast<uint8_t>(~reg::kCnt);
    const uint8_t c0 = (ReadRegister(kChannelControl + SlotChannel[0]) & keep) | (index & 1);
    const uint8_t c3 =
        (ReadRegister(kChannelControl + kSecondPairChannel + SlotChannel[0]) & keep) |
        ((index >> 1) & 1);
    const uint8_t c6 =
        (ReadRegister(kChannelControl + kTwoOperatorChannel + SlotChannel[0]) & keep) |
        ((index >> 2) & 1);
    for (int s = 0; s < kSlotCount; ++s) {
        const uint16_t ch = SlotChannel[s];
        WriteRegister(kChannelControl + ch, c0);
        WriteRegister(kChannelControl + kSecondPairChannel + ch, c3);
        WriteRegister(kChannelControl + kTwoOperatorChannel + ch, c6);
    }
}

void OPL3::SetFeedback(uint8_t value) {
    UpdateChannel(kChannelControl, static_cast<uint8_t>(~reg::kFbMask),
                  (value << reg::kFbShift) & reg::kFbMask);
}

void OPL3::SetFeedback2(uint8_t value) {
    UpdateChannel(kChannelControl + kTwoOperatorChannel, static_cast<uint8_t>(~reg::kFbMask),
                  (value << reg::kFbShift) & reg::kFbMask);
}

// A four-operator voice takes its outputs from the pair's second channel,
// so both channel bytes of the pair carry the same output bits.
void OPL3::SetPairOutput(uint8_t flag, uint8_t on) {
    const uint8_t c0 = Flag(ReadRegister(kChannelControl + SlotChannel[0]), flag, on);
    const uint8_t c3 =
        Flag(ReadRegister(kChannelControl + kSecondPairChannel + SlotChannel[0]), flag, on);
    for (int s = 0; s < kSlotCount; ++s) {
        WriteRegister(kChannelControl + SlotChannel[s], c0);
        WriteRegister(kChannelControl + kSecondPairChannel + SlotChannel[s], c3);
    }
}

void OPL3::SetOutputA(uint8_t on) {
    SetPairOutput(reg::kOutA, on);
}

void OPL3::SetOutputB(uint8_t on) {
    SetPairOutput(reg::kOutB, on);
}

void OPL3::SetOutputA2(uint8_t on) {
    UpdateChannelFlag(kChannelControl + kTwoOperatorChannel, reg::kOutA, on);
}

void OPL3::SetOutputB2(uint8_t on) {
    UpdateChannelFlag(kChannelControl + kTwoOperatorChannel, reg::kOutB, on);
}

void OPL3::SetTremoloDepth(uint8_t deep) {
    WriteRegister(kLfoDepthRegister,
                  Flag(ReadRegister(kLfoDepthRegister), reg::kTremoloDepth, deep));
}

void OPL3::SetVibratoDepth(uint8_t deep) {
    WriteRegister(kLfoDepthRegister,
                  Flag(ReadRegister(kLfoDepthRegister), reg::kVibratoDepth, deep));
}
