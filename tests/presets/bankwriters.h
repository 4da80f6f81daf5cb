#pragma once
// Bank files of every format the readers take, written from the formats'
// public descriptions, holding instruments the test chooses. An instrument
// goes to the place its Index names; places no instrument takes are left
// empty (zero bytes, or WOPL's blank entries, or BNK names not in use).
#include "presets/formats/bankinstrument.h"

#include <cstdint>
#include <string>
#include <vector>

using BankBytes = std::vector<uint8_t>;
using Instruments = std::vector<BankInstrument>;

// One melodic bank named "Melodic" and, when any instrument is percussion,
// one percussion bank "Drums" (Index 128 and up); versions 1 to 3.
BankBytes WriteWopl(int version, const Instruments& instruments);
BankBytes WriteOpli(const BankInstrument& instrument);
BankBytes WriteOp2(const Instruments& instruments);
BankBytes WriteTmb(const Instruments& instruments);
BankBytes WriteIbk(const Instruments& instruments);
// Names in the order given (Index is the name's place), parameters stored
// in the opposite order, and one name not in use after them.
BankBytes WriteBnk(const Instruments& instruments);

// SBI records laid end to end, in the order given.
enum class SbiRecord {
    Sbi,         // "SBI" 0x1A, 52 bytes
    SbiUnpadded, // "SBI" 0x1A, 47 bytes: the padding missing
    FourOp,      // "4OP" 0x1A, 60 bytes
    TwoOpOpl3,   // "2OP" 0x1A, 60 bytes, one or two timbres
};
BankBytes WriteSbi(SbiRecord record, const Instruments& instruments);

// An instrument whose every register byte differs from the others and from
// those of other seeds, within what every format can hold: 3-bit
// waveforms, 0xC0 with feedback and connection only.
BankInstrument SampleInstrument(int seed, VoiceLayout layout, const std::string& name = {});
