#pragma once
// The FM801 PCI audio controller: owns the OPL3 built into it and reaches the
// card's own synthesizer output-volume register.
//
// Volume register, base + 0x02 (16 bits), never cached:
//   x--------------- Mute
//   -xx------------- unused, written as 0
//   ---xxxxx-------- Right attenuation (0 loudest .. 31)
//   --------xxx----- unused, written as 0
//   -----------xxxxx Left attenuation (0 loudest .. 31)
#include <cstdint>

class OPL3;

class FM801 {
public:
    static constexpr uint16_t kVolumeOffset = 0x02;
    static constexpr uint16_t kOpl3Offset = 0x68;

    // Creates (and so resets) the OPL3 at port base + 0x68.
    explicit FM801(uint16_t portBase);
    // Resets the OPL3; the volume register is left as the user set it.
    ~FM801();
    FM801(const FM801&) = delete;
    FM801& operator=(const FM801&) = delete;

    void GetAttenuation(bool& muted, uint8_t& left, uint8_t& right);
    // Keeps the mute bit; every other bit is replaced.
    void SetAttenuation(uint8_t left, uint8_t right);
    void Mute();
    void Unmute();

    uint16_t PortBase;
    OPL3* Opl3; // owned
};
