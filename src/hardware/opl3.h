#pragma once
// The YMF262 (OPL3) inside the card: its two register banks, an image of
// every value written (the chip is write-only), and six identical note slots
// of six operators each.
//
// The register map is drawn in hardware/opl3regs.h.
//
// Slot s uses the four-operator pair (channels c, c+3) and the two-operator
// channel c+6 of one bank, which is every operator of the chip over six slots.
#include "hardware/opl3regs.h"
#include "presets/patchrecord.h"

#include <array>
#include <cstdint>

class OPL3 {
public:
    static constexpr int kSlotCount = 6;
    static constexpr int32_t FreeSlot = 0x7FFFFFFF;
    static constexpr uint16_t kRegisterCount = 0x200;
    static constexpr int kFrequencyTableSize = 1300;

    static constexpr std::array<uint16_t, 36> OperatorOffset = {
        0x000, 0x001, 0x002, 0x003, 0x004, 0x005, 0x008, 0x009, 0x00A, 0x00B, 0x00C, 0x00D,
        0x010, 0x011, 0x012, 0x013, 0x014, 0x015, 0x100, 0x101, 0x102, 0x103, 0x104, 0x105,
        0x108, 0x109, 0x10A, 0x10B, 0x10C, 0x10D, 0x110, 0x111, 0x112, 0x113, 0x114, 0x115,
    };
    // Operator j (0..5) of slot s is OperatorOffset[SlotOperatorBase[s] + 3 * j].
    static constexpr std::array<int, kSlotCount> SlotOperatorBase = {0, 1, 2, 18, 19, 20};
    // Channel registers of slot s: + 0 the pair (operators 1-4), + 3 the pair's
    // second channel, + 6 the two-operator channel (operators 5-6).
    static constexpr std::array<uint16_t, kSlotCount> SlotChannel = {0x000, 0x001, 0x002,
                                                                     0x100, 0x101, 0x102};

    // Resets the chip; port base is the first of the four OPL3 ports.
    explicit OPL3(uint16_t portBase);
    // Resets the chip again, so it falls silent.
    ~OPL3();
    OPL3(const OPL3&) = delete;
    OPL3& operator=(const OPL3&) = delete;

    // Silences the chip, turns on OPL3 and four-operator mode, frees all
    // slots. Every patch register is 0 afterwards: program a patch again.
    void Reset();
    // Both raise "Illegal OPL3 register index" for index >= 0x200.
    void WriteRegister(uint16_t index, uint8_t value);
    uint8_t ReadRegister(uint16_t index) const;

    // Cents are the offsets of the four-operator voice (operators 1-4) and
    // of the two-operator voice (5-6). Both return the number of sounding slots.
    int32_t NoteOn(int32_t cents4, int32_t cents2, uint8_t note);
    int32_t NoteOff(uint8_t note);
    // Re-pitches every sounding note without restarting it.
    void Retune(int32_t cents4, int32_t cents2);
    // The key-scale number of a note at a voice's cents: block * 2 plus the
    // F-number's top bit (the note-select bit stays 0). Envelope rates with
    // rate scaling follow it.
    static int KeyScaleNumber(int32_t note, int32_t cents);

    // Programs all six slots; sounding notes keep sounding with the new sound.
    void SetPatch(const SynthPatch& patch, const PatchSettings& settings);

    // Each setter changes one field in all six slots, starting from slot 0's
    // value. op is the patch operator 0..5; others are ignored. Flags: nonzero = on.
    void SetTremolo(int32_t op, uint8_t on);
    void SetVibrato(int32_t op, uint8_t on);
    void SetHold(int32_t op, uint8_t on);
    void SetRateScaling(int32_t op, uint8_t on);
    void SetFreqMultiplier(int32_t op, uint8_t value);
    void SetLevelScaling(int32_t op, uint8_t value);
    void SetLevel(int32_t op, uint8_t value); // 0..63, 63 loudest
    void SetAttack(int32_t op, uint8_t value);
    void SetDecay(int32_t op, uint8_t value);
    void SetSustain(int32_t op, uint8_t value);
    void SetRelease(int32_t op, uint8_t value);
    void SetWaveform(int32_t op, uint8_t value);
    void SetConnection(uint8_t index); // bit 0 ops 1-2, bit 1 ops 3-4, bit 2 ops 5-6
    void SetFeedback(uint8_t value);   // operator 1
    void SetFeedback2(uint8_t value);  // operator 5
    void SetOutputA(uint8_t on);
    void SetOutputB(uint8_t on);
    void SetOutputA2(uint8_t on);
    void SetOutputB2(uint8_t on);
    void SetTremoloDepth(uint8_t deep);
    void SetVibratoDepth(uint8_t deep);

    uint16_t PortBase;
    std::array<uint8_t, kRegisterCount> Shadow{};
    // The note each slot plays, or FreeSlot.
    std::array<int32_t, kSlotCount> Slots;

private:
    friend struct OPL3TestPeer;

    struct Frequency {
        uint8_t Block;
        uint16_t FNumber;
    };

    // F-numbers at block 4, one per cent from the B below middle C (entry 0)
    // to the B above it (entry 1299). Built by every construction, identically.
    static std::array<uint16_t, kFrequencyTableSize> FrequencyTable;
    static void BuildFrequencyTable();
    static Frequency ComputeFrequency(int32_t note, int32_t cents);

    void Write(uint16_t index, uint8_t value);
    void KeyOn(uint8_t note, int32_t cents4, int32_t cents2, int slot);
    void KeyOff(int slot);

    static uint16_t OperatorRegister(uint8_t base, int slot, int32_t op);
    // Put value into one field of slot 0's register and write the result to
    // all slots.
    void SetField(uint8_t base, int32_t op, opl3::Field field, unsigned value);
    void SetChannelField(uint8_t base, opl3::Field field, unsigned value);
    // Outputs A and B of the four-operator voice: 0xC0 and 0xC3 alike.
    void SetPairOutput(opl3::Field output, bool on);
};
