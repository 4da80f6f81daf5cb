#pragma once
// The FM801's own registers that VI 801 uses, drawn once. Offsets are from
// the card's I/O port base.
//
//   +0x02 synthesizer output volume (16 bits)
//     x--------------- Mute
//     -xx------------- unused, written as 0
//     ---xxxxx-------- Right attenuation (1.5 dB steps, 0 loudest .. 31)
//     --------xxx----- unused, written as 0
//     -----------xxxxx Left attenuation
//   +0x68 .. +0x6B the OPL3: bank 0 address, data; bank 1 address, data
#include "hardware/bitfield.h"

#include <cstdint>

namespace fm801 {

using Field = BitField<uint16_t>;

inline constexpr uint16_t kVolumeOffset = 0x02, kOpl3Offset = 0x68;
inline constexpr Field kMute{15, 1}, kRightAttenuation{8, 5}, kLeftAttenuation{0, 5};

} // namespace fm801
