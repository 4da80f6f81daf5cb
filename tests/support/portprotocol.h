#pragma once
// The OPL3's port protocol read back from a recorded trace, and the register
// writes a chip reset makes: what every test of the chip's traces compares.
#include "portrecorder.h"

#include <cstdint>
#include <ostream>
#include <vector>

// Plain ints, so that tables of expected writes can be built from sums.
struct RegWrite {
    int index; // 0x000-0x1FF
    int value;
    bool operator==(const RegWrite&) const = default;
};
void PrintTo(const RegWrite& write, std::ostream* os);

// Register writes on the four OPL3 ports from oplBase on, as the chip takes
// them: each bank latches its address and every data byte writes there.
// Other accesses are passed over. With strict, every address byte must be
// followed at once by its bank's data byte, as the chip core always writes
// them; anything else is a test failure.
std::vector<RegWrite> DecodeRegisterWrites(const std::vector<PortRecorder::Access>& trace,
                                           uint16_t oplBase, bool strict = false);

// The writes of one chip reset, in order: every register of both banks
// cleared, OPL3 and four-operator mode on, every channel keyed on and off.
std::vector<RegWrite> ResetSequence();
