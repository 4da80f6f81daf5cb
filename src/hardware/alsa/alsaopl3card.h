#pragma once
// A card whose kernel driver owns it, reached through ALSA: the port
// primitives are decoded as the card would take them, and what they write
// goes to the driver as its FM requests and to the card's mixer.
//
// I/O range, relative to the base (as the FM801's):
//   +0x02  16 bits  synthesizer volume: bits 0-4 left, 8-12 right attenuation
//                   (31 = quietest), bit 15 mute; read from and written to
//                   the mixer control, afresh each time
//   +0x68 .. +0x6B  OPL3 bank 0 address latch, data; bank 1 address latch, data
#include "hardware/alsa/fmdevice.h"
#include "hardware/alsa/fmrequests.h"
#include "hardware/giveio.h"

#include <cstdint>
#include <memory>

// The volume register as a mixer setting and back. Attenuation 0-31 spreads
// over the control's range, loudest at its maximum; mute is the switch
// turned off.
VolumeControl::Setting MixerSetting(uint16_t volumeRegister, long min, long max);
uint16_t VolumeRegister(const VolumeControl::Setting& setting, long min, long max);

class AlsaOpl3Card : public PortBackend {
public:
    static constexpr uint16_t kDefaultBase = 0xE800;

    // volume may be null: the card's mixer has no control for the synthesizer,
    // and the register is only kept here.
    AlsaOpl3Card(std::unique_ptr<FmDevice> device, std::unique_ptr<VolumeControl> volume,
                 uint16_t base = kDefaultBase);

    // Takes the chip over: 0, or the negative errno of the refused request.
    int Start() { return requests_.Start(); }

    void EnableAccess() override {} // the open device is the permission
    void OutByte(uint16_t port, uint8_t value) override;
    void OutWord(uint16_t port, uint16_t value) override;
    uint16_t InWord(uint16_t port) override;

    uint16_t Base() const { return base_; }
    const Opl3FmRequests& Requests() const { return requests_; }
    const VolumeControl* Volume() const { return volume_.get(); }

private:
    void WriteVolume(uint16_t value);

    std::unique_ptr<FmDevice> device_;
    std::unique_ptr<VolumeControl> volume_;
    Opl3FmRequests requests_{*device_};
    const uint16_t base_;
    uint8_t latch_[2] = {0, 0}; // address latch of each bank
    // The register as last written, for what the control can't hold: all of
    // it without a control, the mute bit without a switch.
    uint16_t volumeWord_ = 0;
};
