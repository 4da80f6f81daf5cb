#include "hardware/opl3.h"

#include "error.h"
#include "hardware/giveio.h"

#include <cmath>

namespace {
using namespace opl3;

constexpr const char* kIllegalIndex = "Illegal OPL3 register index";
constexpr uint16_t kLastResetRegister = 0xF5, kLastChannel = 8;

// The channels of a slot: + 3 the pair's second channel, + 6 the two-operator
// one, whose channel byte is kRegC6.
constexpr uint8_t kSecondPairChannel = 3, kTwoOperatorChannel = 6, kRegC6 = kRegC0 + 6;

constexpr int kMaxBlock = 7;
constexpr uint16_t kMaxFNumber = 1023;
} // namespace

std::array<uint16_t, OPL3::kFrequencyTableSize> OPL3::FrequencyTable{};

OPL3::OPL3(uint16_t portBase) : PortBase(portBase) {
    Slots.fill(FreeSlot);
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
    Write(kModeRegister, kOpl3Mode.PutFlag(0, true));
    Write(kFourOperatorRegister, kFourOperatorPairs.Put(0, kFourOperatorPairs.Max()));
    // Key every channel on and off so none is left in a half-started state.
    const uint8_t keyOn = kKeyOn.PutFlag(0, true);
    for (uint16_t c = 0; c <= kLastChannel; ++c) {
        Write(kRegB0 + c, keyOn);
        Write(kBank1 + kRegB0 + c, keyOn);
        Write(kRegB0 + c, 0);
        Write(kBank1 + kRegB0 + c, 0);
    }
    Slots.fill(FreeSlot);
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
    return {static_cast<uint8_t>(block), static_cast<uint16_t>(f)};
}

int OPL3::KeyScaleNumber(int32_t note, int32_t cents) {
    // Every construction builds the same table; a caller may come first.
    // A guarded static, not call_once: the plugin may use no dynamic TLS.
    [[maybe_unused]] static const bool built = [] {
        if (FrequencyTable[0] == 0) BuildFrequencyTable();
        return true;
    }();
    const Frequency f = ComputeFrequency(note, cents);
    return f.Block * 2 + (f.FNumber >> 9 & 1);
}

void OPL3::KeyOn(uint8_t note, int32_t cents4, int32_t cents2, int slot) {
    const uint16_t ch = SlotChannel[slot];
    const Frequency f4 = ComputeFrequency(note, cents4);
    const Frequency f2 = ComputeFrequency(note, cents2);
    auto low = [](const Frequency& f) { return kFNumberLow.Put(0, f.FNumber); };
    auto high = [](const Frequency& f) {
        return kKeyOn.PutFlag(kBlock.Put(kFNumberHigh.Put(0, f.FNumber >> 8), f.Block), true);
    };
    WriteRegister(kRegA0 + ch, low(f4));
    WriteRegister(kRegA0 + kTwoOperatorChannel + ch, low(f2));
    WriteRegister(kRegB0 + ch, high(f4));
    WriteRegister(kRegB0 + kTwoOperatorChannel + ch, high(f2));
}

void OPL3::KeyOff(int slot) {
    Slots[slot] = FreeSlot;
    const uint16_t ch = SlotChannel[slot];
    // Block and F-number stay, so the release keeps the note's pitch.
    for (uint16_t index : {uint16_t(kRegB0 + ch), uint16_t(kRegB0 + kTwoOperatorChannel + ch)})
        WriteRegister(index, kKeyOn.PutFlag(ReadRegister(index), false));
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
            WriteRegister(OperatorRegister(kReg20, s, j), op.Reg20);
            WriteRegister(OperatorRegister(kReg40, s, j), op.Reg40);
            WriteRegister(OperatorRegister(kReg60, s, j), op.Reg60);
            WriteRegister(OperatorRegister(kReg80, s, j), op.Reg80);
            WriteRegister(OperatorRegister(kRegE0, s, j), op.RegE0);
        }
        const uint16_t ch = SlotChannel[s];
        WriteRegister(kRegC0 + ch, patch.RegC0Ops12);
        WriteRegister(kRegC0 + kSecondPairChannel + ch, patch.RegC0Ops34);
        WriteRegister(kRegC0 + kTwoOperatorChannel + ch, patch.RegC0Ops56);
    }
    // The settings decide the output bits, whatever the channel bytes held.
    SetTremoloDepth(settings.LfoDepth & lfo::kTremoloDeep);
    SetVibratoDepth(settings.LfoDepth & lfo::kVibratoDeep);
    SetOutputA(settings.Outputs & outputs::kA);
    SetOutputB(settings.Outputs & outputs::kB);
    SetOutputA2(settings.Outputs & outputs::kA2);
    SetOutputB2(settings.Outputs & outputs::kB2);
}

void OPL3::SetField(uint8_t base, int32_t op, Field field, unsigned value) {
    if (op < 0 || op >= kOperatorCount)
        return; // would address another slot's operators, or none at all
    const uint8_t image = field.Put(ReadRegister(OperatorRegister(base, 0, op)), value);
    for (int s = 0; s < kSlotCount; ++s)
        WriteRegister(OperatorRegister(base, s, op), image);
}

void OPL3::SetChannelField(uint8_t base, Field field, unsigned value) {
    const uint8_t image = field.Put(ReadRegister(base + SlotChannel[0]), value);
    for (int s = 0; s < kSlotCount; ++s)
        WriteRegister(base + SlotChannel[s], image);
}

// One field each, in all six slots; flags take any nonzero value as on.
// clang-format off
void OPL3::SetTremolo(int32_t op, uint8_t v) { SetField(kReg20, op, kTremolo, bool(v)); }
void OPL3::SetVibrato(int32_t op, uint8_t v) { SetField(kReg20, op, kVibrato, bool(v)); }
void OPL3::SetHold(int32_t op, uint8_t v) { SetField(kReg20, op, kHold, bool(v)); }
void OPL3::SetRateScaling(int32_t op, uint8_t v) { SetField(kReg20, op, kRateScaling, bool(v)); }
void OPL3::SetFreqMultiplier(int32_t op, uint8_t v) { SetField(kReg20, op, kMultiplier, v); }
void OPL3::SetLevelScaling(int32_t op, uint8_t v) { SetField(kReg40, op, kLevelScaling, v); }
void OPL3::SetLevel(int32_t op, uint8_t v) { SetField(kReg40, op, kLevel, v); }
void OPL3::SetAttack(int32_t op, uint8_t v) { SetField(kReg60, op, kAttack, v); }
void OPL3::SetDecay(int32_t op, uint8_t v) { SetField(kReg60, op, kDecay, v); }
void OPL3::SetSustain(int32_t op, uint8_t v) { SetField(kReg80, op, kSustain, v); }
void OPL3::SetRelease(int32_t op, uint8_t v) { SetField(kReg80, op, kRelease, v); }
void OPL3::SetFeedback(uint8_t v) { SetChannelField(kRegC0, kFeedback, v); }
void OPL3::SetFeedback2(uint8_t v) { SetChannelField(kRegC6, kFeedback, v); }
void OPL3::SetOutputA(uint8_t v) { SetPairOutput(kOutputA, bool(v)); }
void OPL3::SetOutputB(uint8_t v) { SetPairOutput(kOutputB, bool(v)); }
void OPL3::SetOutputA2(uint8_t v) { SetChannelField(kRegC6, kOutputA, bool(v)); }
void OPL3::SetOutputB2(uint8_t v) { SetChannelField(kRegC6, kOutputB, bool(v)); }
// clang-format on

void OPL3::SetWaveform(int32_t op, uint8_t value) {
    // The register holds nothing else, so it is written without reading.
    if (op < 0 || op >= kOperatorCount) return;
    for (int s = 0; s < kSlotCount; ++s)
        WriteRegister(OperatorRegister(kRegE0, s, op), kWaveform.Put(0, value));
}

void OPL3::SetConnection(uint8_t index) {
    const uint16_t first = kRegC0 + SlotChannel[0];
    const uint8_t c0 = kConnection.Put(ReadRegister(first), index);
    const uint8_t c3 = kConnection.Put(ReadRegister(first + kSecondPairChannel), index >> 1);
    const uint8_t c6 = kConnection.Put(ReadRegister(first + kTwoOperatorChannel), index >> 2);
    for (int s = 0; s < kSlotCount; ++s) {
        const uint16_t ch = SlotChannel[s];
        WriteRegister(kRegC0 + ch, c0);
        WriteRegister(kRegC0 + kSecondPairChannel + ch, c3);
        WriteRegister(kRegC0 + kTwoOperatorChannel + ch, c6);
    }
}

// A four-operator voice takes its outputs from the pair's second channel,
// so both channel bytes of the pair carry the same output bits.
void OPL3::SetPairOutput(Field output, bool on) {
    const uint16_t first = kRegC0 + SlotChannel[0];
    const uint8_t c0 = output.PutFlag(ReadRegister(first), on);
    const uint8_t c3 = output.PutFlag(ReadRegister(first + kSecondPairChannel), on);
    for (int s = 0; s < kSlotCount; ++s) {
        WriteRegister(kRegC0 + SlotChannel[s], c0);
        WriteRegister(kRegC0 + kSecondPairChannel + SlotChannel[s], c3);
    }
}

void OPL3::SetTremoloDepth(uint8_t deep) {
    WriteRegister(kLfoDepthRegister, kTremoloDepth.PutFlag(ReadRegister(kLfoDepthRegister), deep));
}

void OPL3::SetVibratoDepth(uint8_t deep) {
    WriteRegister(kLfoDepthRegister, kVibratoDepth.PutFlag(ReadRegister(kLfoDepthRegister), deep));
}
