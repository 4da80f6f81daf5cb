#pragma once
// What lets the card stop rendering a chip that has nothing to say, and pick
// up later as if it had rendered all along.
#include <cstdint>

struct _opl3_chip;

// Every operator that reaches an output has its key off (rhythm keys
// included) and its envelope and level so far down that it gives out nothing
// but the chip's floor: without a register write the chip stays silent for
// good. Operators that only modulate a silent one, or whose channel has no
// output, do not count.
bool ChipSilent(const _opl3_chip& chip);

// Whether every output the chip's channels mix is an operator's output or
// the chip's zero, where ChipSilent looks for them. A library whose chip is
// laid out otherwise makes this false (and ChipSilent never true).
bool ChipLayoutKnown(const _opl3_chip& chip);

// Moves a silent chip on by `samples` in one step, as that many calls of
// OPL3_Generate would: the timer that paces the envelopes and the LFOs, both
// LFOs, the noise generator and every operator's phase. What a silent
// operator leaves in its output latches is not replayed: those hold the
// chip's floor, at most one step of its 16-bit output.
void AdvanceSilentChip(_opl3_chip& chip, uint64_t samples);

// Builds the noise generator's jump tables; call it once before the audio
// thread needs them.
void PrepareSilentChip();
