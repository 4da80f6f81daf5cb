#pragma once
// The FM801 PCI audio controller: owns the OPL3 built into it and reaches the
// card's own synthesizer output-volume register (drawn in fm801regs.h), which
// is read afresh for every change, never cached.
#include "hardware/opl3.h"

#include <cstdint>
#include <memory>

class FM801 {
public:
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
    std::unique_ptr<OPL3> Opl3;

private:
    uint16_t VolumePort() const;
};
